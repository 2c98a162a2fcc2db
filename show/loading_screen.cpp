#include "show/loading_screen.h"

#include <GL/gl.h>

#include "effects/camera.h"
#include "platform/window.h"

namespace {

constexpr int32_t kLoadingComponents = 3;

// The picture is a 2 x 2 square, a little below the centre, 4 units away.
constexpr float kPictureDrop = -0.3f;
constexpr float kPictureDistance = -4.0f;
constexpr float kPictureHalf = 1.0f;

// The bar lies across the picture's lower half, slightly in front of it.
constexpr float kBarBottom = -0.5f;
constexpr float kBarTop = -0.4f;
constexpr float kBarDepth = 0.1f;

void drawPicture(const Texture& picture) {
    glColor4f(1, 1, 1, 1);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, picture.textureName);
    // Row 0 of the picture (t = 0) at the top.
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glTexCoord2f(0, 1);
    glVertex3f(-kPictureHalf, -kPictureHalf, 0);
    glTexCoord2f(1, 1);
    glVertex3f(kPictureHalf, -kPictureHalf, 0);
    glTexCoord2f(1, 0);
    glVertex3f(kPictureHalf, kPictureHalf, 0);
    glTexCoord2f(0, 0);
    glVertex3f(-kPictureHalf, kPictureHalf, 0);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

// In the current colour with the additive blend: white over any picture.
void drawBar(float rightEdge) {
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glVertex3f(-kPictureHalf, kBarBottom, kBarDepth);
    glVertex3f(rightEdge, kBarBottom, kBarDepth);
    glVertex3f(rightEdge, kBarTop, kBarDepth);
    glVertex3f(-kPictureHalf, kBarTop, kBarDepth);
    glEnd();
}

} // namespace

TextureResult initLoadingScreen(int32_t viewportWidth, int32_t viewportHeight) {
    glViewport(0, 0, viewportWidth, viewportHeight);
    loadProjection();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glShadeModel(GL_SMOOTH);
    // Depth testing stays off for the whole show: everything is drawn in
    // submission order.
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_DEPTH_TEST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glColor4f(1, 1, 1, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    return createTexture(kLoadingPicture, kLoadingComponents, false);
}

void drawLoadingFrame(const Texture& picture, double progress) {
    // 0 maps to the picture's left edge, 1 to its right edge.
    const float rightEdge = float(progress * 2 - 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0, kPictureDrop, kPictureDistance);
    drawPicture(picture);
    drawBar(rightEdge);
}

void drawLoadingProgress(const Texture& picture, double progress) {
    drawLoadingFrame(picture, progress);
    swapBuffers();
}
