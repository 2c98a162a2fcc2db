// The configuration dialog that opens before anything else: screen
// resolution, full screen, true colour and music, then "Go!" or "Cancel".
//
//   switch (runConfigDialog(settings)) {
//   case DialogOutcome::kGo: break;                 // settings hold the choice
//   case DialogOutcome::kCancel: return 0;          // nothing else happens
//   case DialogOutcome::kNoDisplay: fatalError(kConfigDialogModule, kConfigDialogFailure);
//   }
//
// Only config_dialog.cpp knows about the toolkit (FLTK).
#pragma once

#include <cstdint>

#include "show/show_state.h"

inline constexpr const char* kConfigDialogModule = "Startup Dialog";
inline constexpr const char* kConfigDialogFailure = "Can`t create startup dialog";
inline constexpr const char* kConfigDialogCaption = "Config";

enum class DialogOutcome {
    kGo,        // start-up goes on with the settings as edited
    kCancel,    // "Cancel" or the dialog was closed: the program ends, exit code 0
    kNoDisplay, // no dialog can be shown (no display); the reason went to stderr
};

// Shows the dialog and waits until it ends. It opens with "800 x 600"
// selected whatever the settings hold, and its three boxes checked from
// `settings`. Each click on a box changes the matching setting at once;
// "Go!" (also Enter, unless "Cancel" has the focus) stores the selected
// resolution. Escape does nothing.
DialogOutcome runConfigDialog(Settings& settings);

// The layout is designed in dialog units: a quarter of the average character
// width across and an eighth of the character height down. The dialog's font
// (8 points at 96 dpi) has 6 x 13 pixel characters, so one unit is 1.5 pixels
// across and 1.625 down: the 142 x 131 unit dialog is 213 x 213 pixels.
inline constexpr int32_t kDialogCharWidth = 6;   // pixels
inline constexpr int32_t kDialogCharHeight = 13; // pixels
inline constexpr int32_t kUnitsPerCharWidth = 4;
inline constexpr int32_t kUnitsPerCharHeight = 8;

// Dialog units to pixels, rounded to the nearest pixel.
constexpr int32_t dialogPixelsX(int32_t units) {
    return (units * kDialogCharWidth + kUnitsPerCharWidth / 2) / kUnitsPerCharWidth;
}
constexpr int32_t dialogPixelsY(int32_t units) {
    return (units * kDialogCharHeight + kUnitsPerCharHeight / 2) / kUnitsPerCharHeight;
}
