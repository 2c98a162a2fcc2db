#include <GL/gl.h>

#include <array>
#include <cmath>
#include <numbers>

#include "effects/camera.h"
#include "gl_support.h"

namespace {

using Matrix = std::array<double, 16>; // column-major, as OpenGL keeps it

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k) m[column * 4 + row] += a[k * 4 + row] * b[column * 4 + k];
    return m;
}

Matrix identity() {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

// 45 degrees, 4:3, near 0.1, far 100, from the textbook formula.
Matrix perspective() {
    const double f = 1 / std::tan(45.0 / 2 * std::numbers::pi / 180);
    const double n = 0.1, far = 100;
    Matrix m{};
    m[0] = f / (4.0 / 3.0);
    m[5] = f;
    m[10] = (far + n) / (n - far);
    m[11] = -1;
    m[14] = 2 * far * n / (n - far);
    return m;
}

std::array<double, 3> normalised(std::array<double, 3> v) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return {v[0] / length, v[1] / length, v[2] / length};
}

std::array<double, 3> cross(std::array<double, 3> a, std::array<double, 3> b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Matrix lookAt(std::array<double, 3> eye, std::array<double, 3> centre, std::array<double, 3> up) {
    const auto f = normalised({centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]});
    const auto s = normalised(cross(f, up));
    const auto u = cross(s, f);
    Matrix m = identity();
    for (int i = 0; i < 3; ++i) {
        m[i * 4 + 0] = s[i];
        m[i * 4 + 1] = u[i];
        m[i * 4 + 2] = -f[i];
    }
    for (int row = 0; row < 3; ++row)
        m[12 + row] = -(m[row] * eye[0] + m[4 + row] * eye[1] + m[8 + row] * eye[2]);
    return m;
}

Matrix current(GLenum which) {
    Matrix m{};
    glGetDoublev(which, m.data());
    return m;
}

void expectMatrix(const Matrix& actual, const Matrix& expected, const char* what) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-5 * (1 + std::abs(expected[i])))
            << what << " element " << i;
}

// After every load: model-view current and the identity.
void expectLoaded(const Matrix& projection) {
    EXPECT_EQ(glInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    expectMatrix(current(GL_MODELVIEW_MATRIX), identity(), "model-view");
    expectMatrix(current(GL_PROJECTION_MATRIX), projection, "projection");
}

const Matrix kNeutral = multiply(perspective(), lookAt({0, 0, 0}, {0, 0, -1}, {0, 1, 0}));
const Matrix kSide = multiply(perspective(), lookAt({1, 2, 3}, {0, 0, -5}, {0, 1, 0}));
const Matrix kHigh = multiply(perspective(), lookAt({0, 4, 1}, {0, 0, 0}, {0, 0, -1}));

class CameraTest : public OffscreenContext {};

} // namespace

TEST_F(CameraTest, CreateLoadsPerspectiveTimesViewAndIsActive) {
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, 3);
    const Camera camera = createCamera(1, 2, 3, 0, 0, -5, 0, 1, 0);
    EXPECT_TRUE(camera.active);
    EXPECT_EQ(camera.eyeY, 2.0f);
    EXPECT_EQ(camera.centreZ, -5.0f);
    EXPECT_EQ(camera.upY, 1.0f);
    expectLoaded(kSide);
}

TEST_F(CameraTest, ApplyLoadsTheStoredViewOnlyWhileActive) {
    Camera camera = createCamera(0, 0, 0, 0, 0, -1, 0, 1, 0);
    setView(camera, 1, 2, 3, 0, 0, -5, 0, 1, 0);
    expectLoaded(kNeutral); // setView alone loads nothing
    apply(camera);
    expectLoaded(kSide);

    // Inactive: shows the stored view once, then apply leaves everything alone.
    setActive(camera, false);
    EXPECT_FALSE(camera.active);
    expectLoaded(kSide);
    setView(camera, 0, 4, 1, 0, 0, 0, 0, 0, -1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(5, 0, 0);
    Matrix translated = identity();
    translated[12] = 5;
    apply(camera);
    expectMatrix(current(GL_PROJECTION_MATRIX), identity(), "projection");
    expectMatrix(current(GL_MODELVIEW_MATRIX), translated, "model-view");
}

TEST_F(CameraTest, SetActiveShowsTheNeutralViewUntilTheNextApply) {
    Camera camera = createCamera(0, 0, 0, 0, 0, -1, 0, 1, 0);
    setView(camera, 0, 4, 1, 0, 0, 0, 0, 0, -1);
    setActive(camera, true);
    EXPECT_TRUE(camera.active);
    expectLoaded(kNeutral);
    EXPECT_EQ(camera.eyeY, 4.0f); // the stored view is kept
    apply(camera);
    expectLoaded(kHigh);
}

TEST_F(CameraTest, ThePerspectiveIsFourToThreeWhateverTheViewport) {
    glViewport(0, 0, 1280, 960);
    Camera camera = createCamera(0, 0, 0, 0, 0, -1, 0, 1, 0);
    const Matrix wide = current(GL_PROJECTION_MATRIX);
    glViewport(0, 0, 100, 300);
    apply(camera);
    expectMatrix(current(GL_PROJECTION_MATRIX), wide, "projection");
    expectMatrix(wide, kNeutral, "projection");
    glViewport(0, 0, kWidth, kHeight);
}
