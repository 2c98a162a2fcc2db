// Runs the configuration dialog alone and prints how it ended, so tests can
// drive it under X and check the settings it leaves:
//
//   config_dialog_probe [WIDTH HEIGHT DEPTH FULLSCREEN MUSIC]
//
// starts from the given settings (the show's defaults without arguments) and
// prints "go WIDTHxHEIGHTxDEPTH fullscreen=0|1 music=0|1", "cancel" or
// "no display". Exit code 0, or 2 for bad arguments.
#include <cstdio>
#include <cstdlib>

#include "show/config_dialog.h"

namespace {

constexpr int kSettingArgs = 5;

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (argc == 1 + kSettingArgs) {
        settings.screenWidth = std::atoi(argv[1]);
        settings.screenHeight = std::atoi(argv[2]);
        settings.colourDepth = std::atoi(argv[3]);
        settings.fullScreen = std::atoi(argv[4]) != 0;
        settings.music = std::atoi(argv[5]) != 0;
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [WIDTH HEIGHT DEPTH FULLSCREEN MUSIC]\n", argv[0]);
        return 2;
    }
    switch (runConfigDialog(settings)) {
    case DialogOutcome::kGo:
        std::printf("go %dx%dx%d fullscreen=%d music=%d\n", settings.screenWidth,
                    settings.screenHeight, settings.colourDepth, settings.fullScreen ? 1 : 0,
                    settings.music ? 1 : 0);
        break;
    case DialogOutcome::kCancel:
        std::printf("cancel\n");
        break;
    case DialogOutcome::kNoDisplay:
        std::printf("no display\n");
        break;
    }
    return 0;
}
