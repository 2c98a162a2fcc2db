#include "show/scene_draws.h"

#include <GL/gl.h>
#include <cmath>

#include "show/quads.h"
#include "show/scenes.h"
#include "show/show_state.h"
#include "show/stage.h"

namespace {

// How the overlay's alpha follows the play time t: sin(t / period), kept
// signed or taken as its magnitude. A negative alpha hides the overlay.
struct Pulse {
    double period; // ms per radian
    bool isSigned;
};

struct SceneLook {
    TextureIndex back, middle, front;
    bool hasOverlay;
    TextureIndex overlay;
    Pulse pulse;
    bool fadesOut; // the closing fade to black
};

// Scene1 to Scene11: performers back, middle, front; the overlay (Scenes 1
// and 2 have none, the texture named there is unused) and its pulse; the fade.
constexpr SceneLook kScenes[kShowSceneCount] = {
    {kOmbrit1, kVesk1, kQuopple1, false, kLogo, {}, false},
    {kOmbrit2, kVesk2, kQuopple2, false, kLogo, {}, false},
    {kOmbrit1, kVesk1, kQuopple1, true, kLogo, {1000, true}, false},
    {kOmbrit1, kVesk1, kQuopple1, true, kSucks, {1000, false}, false},
    {kOmbrit1, kVesk2, kQuopple1, true, kStandup, {1000, false}, false},
    {kOmbrit2, kVesk2, kQuopple1, true, kSpeakers, {200, false}, false},
    {kOmbrit1, kVesk1, kQuopple1, true, kWhoops, {1000, false}, false},
    {kOmbrit1, kVesk1, kQuopple1, true, kMove, {500, false}, false},
    {kOmbrit2, kVesk2, kQuopple2, true, kLove, {400, false}, false},
    {kOmbrit2, kVesk2, kQuopple1, true, kSeeYou, {400, false}, false},
    {kOmbrit2, kVesk2, kQuopple1, true, kSeeYou, {400, false}, true},
};

// The performers' places, back to front, each standing on the floor.
constexpr Quad kBackPlace = {{0, 1, -0.2f, 0, -0.3f},
                             {1, 1, 0.8f, 0, -0.3f},
                             {1, 0, 0.8f, 1, -0.3f},
                             {0, 0, -0.2f, 1, -0.3f}};
constexpr Quad kMiddlePlace = {
    {0, 1, 0.6f, 0, -0.1f}, {1, 1, 1.6f, 0, -0.1f}, {1, 0, 1.6f, 1, -0.1f}, {0, 0, 0.6f, 1, -0.1f}};
constexpr Quad kFrontPlace = {
    {0, 1, -0.8f, 0, 0}, {1, 1, 0.2f, 0, 0}, {1, 0, 0.2f, 1, 0}, {0, 0, -0.8f, 1, 0}};

// In front of the performers, 1.4 x 1.4.
constexpr Quad kOverlayQuad = {{0, 1, -0.6f, -0.2f, 0.2f},
                               {1, 1, 0.8f, -0.2f, 0.2f},
                               {1, 0, 0.8f, 1.2f, 0.2f},
                               {0, 0, -0.6f, 1.2f, 0.2f}};

// The fade: black from kFadeStart, rising to opaque over kFadeLength ms.
constexpr int32_t kFadeStart = 135000;
constexpr double kFadeLength = 2000;
// Large enough to cover the whole view from wherever the camera sways.
constexpr Point kFadeQuad[4] = {
    {-2.6f, -2.2f, 0.4f}, {2.8f, -2.2f, 0.4f}, {2.8f, 2.2f, 0.4f}, {-2.6f, 2.2f, 0.4f}};

void drawPerformer(TextureIndex picture, const Quad& place) {
    useOpaqueWhite();
    bindTexture(picture);
    drawQuad(place);
}

float overlayAlpha(Pulse pulse) {
    const double wave = std::sin(double(playTime) / pulse.period);
    return float(pulse.isSigned ? wave : std::abs(wave));
}

// OpenGL clamps the alpha to [0, 1]: before kFadeStart the quad shows nothing.
void drawFade() {
    blendOver();
    glColor4f(0, 0, 0, float((playTime - kFadeStart) / kFadeLength));
    drawPlainQuad(kFadeQuad);
}

void drawScene(const SceneLook& look) {
    glLoadIdentity(); // the view lives in the projection matrix
    glEnable(GL_TEXTURE_2D);
    drawStage();
    drawPerformer(look.back, kBackPlace);
    drawPerformer(look.middle, kMiddlePlace);
    drawPerformer(look.front, kFrontPlace);
    if (look.hasOverlay) {
        // The texture's own alpha is multiplied by the pulse (texture modulation).
        glColor4f(1, 1, 1, overlayAlpha(look.pulse));
        bindTexture(look.overlay);
        drawQuad(kOverlayQuad);
    }
    drawForeground();
    glDisable(GL_TEXTURE_2D);
    if (look.fadesOut) drawFade();
}

// One plain function per scene, as the timeline's callbacks take no arguments.
template <int kNumber> void drawSceneNumber() {
    drawScene(kScenes[kNumber - 1]);
}

constexpr Callback kDraws[kShowSceneCount] = {
    drawSceneNumber<1>, drawSceneNumber<2>,  drawSceneNumber<3>, drawSceneNumber<4>,
    drawSceneNumber<5>, drawSceneNumber<6>,  drawSceneNumber<7>, drawSceneNumber<8>,
    drawSceneNumber<9>, drawSceneNumber<10>, drawSceneNumber<11>};

} // namespace

Callback sceneDraw(int number) {
    if (number < 1 || number > kShowSceneCount) return nullptr;
    return kDraws[number - 1];
}
