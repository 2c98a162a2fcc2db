// The show's camera: a viewpoint loaded into OpenGL with a fixed 4:3
// perspective.
//
//   Camera camera = createCamera(0, 0, 0, 0, 0, -1, 0, 1, 0); // loads it, active
//   setActive(camera, true);        // neutral view now, stored view on apply
//   setView(camera, ex, ey, ez, cx, cy, cz, ux, uy, uz);      // stores only
//   apply(camera);                  // loads the stored view while active
//
// Every load leaves the model-view matrix current and set to the identity;
// the view is multiplied into the projection matrix. Needs a current context.
#pragma once

// The one perspective of the show, whatever the window's shape.
inline constexpr double kFieldOfView = 45.0; // degrees
inline constexpr double kAspect = 1.3333333333333333;
inline constexpr double kNearPlane = 0.1;
inline constexpr double kFarPlane = 100.0;

struct Camera {
    float eyeX = 0, eyeY = 0, eyeZ = 0;
    float centreX = 0, centreY = 0, centreZ = 0;
    float upX = 0, upY = 0, upZ = 0;
    bool active = false; // when false, apply does nothing
};

// Projection matrix := the show's perspective; leaves the projection matrix current.
void loadProjection();

// Stores the view, loads the projection and this view, and makes the camera active.
Camera createCamera(float eyeX, float eyeY, float eyeZ, float centreX, float centreY, float centreZ,
                    float upX, float upY, float upZ);

// Stores the view and nothing else.
void setView(Camera& camera, float eyeX, float eyeY, float eyeZ, float centreX, float centreY,
             float centreZ, float upX, float upY, float upZ);

// Loads the projection and the stored view if the camera is active.
void apply(const Camera& camera);

// Stores the flag, then loads the projection with the neutral view (eye at
// the origin looking down -z, y up) when it is true, or the stored view when
// it is false. The stored view is kept either way.
void setActive(Camera& camera, bool active);
