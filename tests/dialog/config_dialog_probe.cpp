// Runs the configuration dialog alone and prints how it ended, so tests can
// drive it under X and check the settings it leaves:
//
//   config_dialog_probe [WIDTH HEIGHT DEPTH FULLSCREEN MUSIC]
//
// starts from the given settings (the show's defaults without arguments) and
// prints "go WIDTHxHEIGHTxDEPTH fullscreen=0|1 music=0|1", "cancel" or
// "no display".
#include <cstdio>
#include <cstdlib>

#include "show/config_dialog.h"

int main(int argc, char** argv) {
    Settings settings;
    if (argc == 6) {
        settings = {std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]),
                    std::atoi(argv[4]) != 0, std::atoi(argv[5]) != 0};
    }
    const DialogOutcome outcome = runConfigDialog(settings);
    if (outcome == DialogOutcome::kGo) {
        std::printf("go %dx%dx%d fullscreen=%d music=%d\n", settings.screenWidth,
                    settings.screenHeight, settings.colourDepth, int(settings.fullScreen),
                    int(settings.music));
    } else {
        std::printf(outcome == DialogOutcome::kCancel ? "cancel\n" : "no display\n");
    }
}
