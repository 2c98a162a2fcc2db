#include "show/show_frame.h"

#include <GL/gl.h>
#include <algorithm>

#include "sequencing/timeline.h"
#include "show/show_state.h"

void showFrame(int32_t time, const float* spectrumNow, Callback present) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    playTime = time;
    if (spectrumNow) {
        std::copy(spectrumNow, spectrumNow + kSpectrumSize, spectrum.begin());
    } else {
        spectrum.fill(0.0f);
    }
    stepTimelines(playTime, present);
}
