#include "effects/camera.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

void loadProjectionAndView(double eyeX, double eyeY, double eyeZ, double centreX, double centreY,
                           double centreZ, double upX, double upY, double upZ) {
    loadProjection();
    gluLookAt(eyeX, eyeY, eyeZ, centreX, centreY, centreZ, upX, upY, upZ);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void loadStoredView(const Camera& c) {
    loadProjectionAndView(c.eyeX, c.eyeY, c.eyeZ, c.centreX, c.centreY, c.centreZ, c.upX, c.upY,
                          c.upZ);
}

} // namespace

void loadProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, kAspect, kNearPlane, kFarPlane);
}

Camera createCamera(float eyeX, float eyeY, float eyeZ, float centreX, float centreY, float centreZ,
                    float upX, float upY, float upZ) {
    Camera camera;
    setView(camera, eyeX, eyeY, eyeZ, centreX, centreY, centreZ, upX, upY, upZ);
    loadStoredView(camera);
    camera.active = true;
    return camera;
}

void setView(Camera& camera, float eyeX, float eyeY, float eyeZ, float centreX, float centreY,
             float centreZ, float upX, float upY, float upZ) {
    camera.eyeX = eyeX;
    camera.eyeY = eyeY;
    camera.eyeZ = eyeZ;
    camera.centreX = centreX;
    camera.centreY = centreY;
    camera.centreZ = centreZ;
    camera.upX = upX;
    camera.upY = upY;
    camera.upZ = upZ;
}

void apply(const Camera& camera) {
    if (camera.active) loadStoredView(camera);
}

void setActive(Camera& camera, bool active) {
    camera.active = active;
    if (active) {
        // Neutral view: eye at the origin, looking down -z, y up.
        loadProjectionAndView(0, 0, 0, 0, 0, -1, 0, 1, 0);
    } else {
        loadStoredView(camera);
    }
}
