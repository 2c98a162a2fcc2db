// The draw callbacks of the eleven scenes: the stage, three performers, from
// Scene3 on a picture pulsing over them with the play time, the foreground,
// and in Scene11 the closing fade to black.
#pragma once

#include "sequencing/scene.h"

// The draw callback of "Scene<number>", number 1 to 11; null for any other.
Callback sceneDraw(int number);
