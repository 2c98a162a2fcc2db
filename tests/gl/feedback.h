// What a piece of drawing code sends to OpenGL, recorded with OpenGL's
// feedback mode: every quad with its corners' positions, colours and
// texture coordinates, in drawing order.
#pragma once

#include <GL/gl.h>

#include <array>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

struct FeedbackCorner {
    float x, y, z;    // model coordinates
    float r, g, b, a; // after OpenGL's clamping to [0, 1]
    float s, t;
    bool operator==(const FeedbackCorner&) const = default;
};

using FeedbackQuad = std::array<FeedbackCorner, 4>;

// Runs `draw` under an orthographic view of the cube [-20, 20]^3 mapped onto
// a 40 x 40 viewport, so window coordinates turn back into model coordinates
// exactly enough. The model-view matrix starts as the identity; the matrices
// and the viewport are restored afterwards.
inline std::vector<FeedbackQuad> recordQuads(const std::function<void()>& draw) {
    constexpr double kHalf = 20;
    constexpr int kValuesPerCorner = 3 + 4 + 4;
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-kHalf, kHalf, -kHalf, kHalf, -kHalf, kHalf);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport(0, 0, GLsizei(2 * kHalf), GLsizei(2 * kHalf));

    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint size = glRenderMode(GL_RENDER);

    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    EXPECT_GE(size, 0) << "feedback buffer too small";

    // Each polygon: its token, its corner count, then the corners.
    std::vector<std::vector<FeedbackCorner>> polygons;
    for (GLint i = 0; i + 1 < size;) {
        EXPECT_EQ(GLenum(buffer[i]), GLenum(GL_POLYGON_TOKEN)) << "only polygons expected";
        const int count = int(buffer[i + 1]);
        i += 2;
        std::vector<FeedbackCorner> corners;
        for (int k = 0; k < count; ++k, i += kValuesPerCorner) {
            const GLfloat* v = &buffer[i];
            corners.push_back({float(v[0] - kHalf), float(v[1] - kHalf),
                               float(kHalf * (1 - 2 * v[2])), v[3], v[4], v[5], v[6], v[7], v[8]});
        }
        polygons.push_back(corners);
    }
    // A quad comes back whole or, from Mesa, as the triangles (0, 1, 3) and (1, 2, 3).
    std::vector<FeedbackQuad> quads;
    for (size_t p = 0; p < polygons.size(); ++p) {
        const auto& first = polygons[p];
        if (first.size() == 4) {
            quads.push_back({first[0], first[1], first[2], first[3]});
            continue;
        }
        EXPECT_TRUE(first.size() == 3 && p + 1 < polygons.size()) << "unexpected polygon";
        if (first.size() != 3 || p + 1 >= polygons.size()) break;
        const auto& second = polygons[++p];
        EXPECT_EQ(second.size(), 3u);
        quads.push_back({first[0], first[1], second[1], first[2]});
    }
    return quads;
}

// A corner as the drawing code is meant to send it, white and opaque
// unless given a colour.
struct ExpectedCorner {
    float s, t, x, y, z;
};

inline void expectQuad(const FeedbackQuad& actual, const std::array<ExpectedCorner, 4>& expected,
                       const std::string& what, std::array<float, 4> colour = {1, 1, 1, 1}) {
    constexpr float kTolerance = 1e-4f;
    for (int k = 0; k < 4; ++k) {
        const FeedbackCorner& a = actual[k];
        const ExpectedCorner& e = expected[k];
        const std::string where = what + ", corner " + std::to_string(k);
        EXPECT_NEAR(a.s, e.s, kTolerance) << where;
        EXPECT_NEAR(a.t, e.t, kTolerance) << where;
        EXPECT_NEAR(a.x, e.x, kTolerance) << where;
        EXPECT_NEAR(a.y, e.y, kTolerance) << where;
        EXPECT_NEAR(a.z, e.z, kTolerance) << where;
        EXPECT_NEAR(a.r, colour[0], kTolerance) << where;
        EXPECT_NEAR(a.g, colour[1], kTolerance) << where;
        EXPECT_NEAR(a.b, colour[2], kTolerance) << where;
        EXPECT_NEAR(a.a, colour[3], kTolerance) << where;
    }
}
