#include "show/config_dialog.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <string>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

// FLTK's headers declare this for X11 only; its Windows library has it too.
void fl_open_display();

namespace {

// 8 points at 96 dpi, the size the dialog units are measured in.
constexpr int kFontSize = 11;

struct UnitRect {
    int32_t x, y, width, height;
};

// The dialog and its controls, in dialog units (see config_dialog.h).
constexpr UnitRect kDialogRect{100, 100, 142, 131}; // on the screen
constexpr UnitRect kGoRect{5, 111, 50, 14};
constexpr UnitRect kCancelRect{85, 111, 50, 14};
// A drop-down list's design height includes its open list; closed it shows
// one line, about 13 units with its frame.
constexpr UnitRect kResolutionListRect{55, 20, 80, 61};
constexpr int32_t kClosedListHeight = 13;
constexpr UnitRect kFullScreenRect{12, 58, 53, 8};
constexpr UnitRect kTrueColourRect{12, 70, 53, 8};
constexpr UnitRect kMusicRect{12, 82, 53, 8};
constexpr UnitRect kResolutionLabelRect{10, 22, 36, 8};
constexpr UnitRect kPerformanceRect{4, 44, 130, 54};
constexpr UnitRect kGreetingRect{7, 5, 120, 8};

constexpr int32_t kTrueColourDepth = 32;
constexpr int32_t kHighColourDepth = 16;

struct Resolution {
    const char* text;
    int32_t width;
    int32_t height;
};

// All 4:3, as the show's projection is.
constexpr Resolution kResolutions[] = {
    {"640 x 480", 640, 480},
    {"800 x 600", 800, 600},
    {"1024 x 768", 1024, 768},
    {"1280 x 960", 1280, 960},
};
// The dialog always opens on "800 x 600", even when the settings hold
// another size: "Go!" writes the selected entry, so the two agree after it.
constexpr int kInitialResolution = 1;

// What the callbacks share while the dialog runs.
struct DialogState {
    Settings& settings;
    Fl_Window* window = nullptr;
    Fl_Choice* resolutionList = nullptr;
    DialogOutcome outcome = DialogOutcome::kCancel;
};

template <typename Widget> Widget* place(const UnitRect& r, const char* text = nullptr) {
    auto* widget = new Widget(dialogPixelsX(r.x), dialogPixelsY(r.y), dialogPixelsX(r.width),
                              dialogPixelsY(r.height), text);
    widget->labelsize(kFontSize);
    return widget;
}

bool isEnter(int key) {
    return key == FL_Enter || key == FL_KP_Enter;
}

// On this dialog, as on native ones, Enter presses the focused push button:
// "Go!" is the default button, but with the focus on "Cancel" Enter cancels.
class CancelButton : public Fl_Button {
  public:
    using Fl_Button::Fl_Button;
    int handle(int event) override {
        if (event == FL_KEYBOARD && Fl::focus() == this && isEnter(Fl::event_key())) {
            do_callback();
            return 1;
        }
        return Fl_Button::handle(event);
    }
};

// An etched frame whose title interrupts its top edge, like a native group
// box; the toolkit's framed boxes print their titles outside.
class GroupFrame : public Fl_Box {
  public:
    using Fl_Box::Fl_Box;
    // Clicks go on to the check boxes inside the frame.
    int handle(int) override { return 0; }

  protected:
    void draw() override {
        constexpr int kTitleIndent = 6;  // pixels from the frame's left edge
        constexpr int kTitlePadding = 2; // background either side of the title
        fl_font(labelfont(), labelsize());
        const int titleHeight = fl_height();
        const int top = y() + titleHeight / 2;
        fl_draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - (top - y()), color());
        const int titleWidth = static_cast<int>(fl_width(label())) + 2 * kTitlePadding;
        fl_color(color());
        fl_rectf(x() + kTitleIndent, y(), titleWidth, titleHeight);
        fl_color(labelcolor());
        fl_draw(label(), x() + kTitleIndent + kTitlePadding, y(), titleWidth, titleHeight,
                FL_ALIGN_LEFT);
    }
};

void endDialog(DialogState& state, DialogOutcome outcome) {
    state.outcome = outcome;
    state.window->hide();
}

void onGo(Fl_Widget*, void* data) {
    auto& state = *static_cast<DialogState*>(data);
    const int selected = state.resolutionList->value();
    // With no selection the size stays as it was.
    if (selected >= 0 && selected < static_cast<int>(std::size(kResolutions))) {
        state.settings.screenWidth = kResolutions[selected].width;
        state.settings.screenHeight = kResolutions[selected].height;
    }
    endDialog(state, DialogOutcome::kGo);
}

void onCancel(Fl_Widget*, void* data) {
    endDialog(*static_cast<DialogState*>(data), DialogOutcome::kCancel);
}

// The toolkit calls the window's callback for its close box and for Escape;
// only the close box ends the dialog.
void onWindowClose(Fl_Widget*, void* data) {
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    onCancel(nullptr, data);
}

bool isChecked(Fl_Widget* box) {
    return static_cast<Fl_Check_Button*>(box)->value() != 0;
}

// Each click flips a box and its setting together. Reading the box rather
// than flipping the setting keeps them in step by construction.
void onFullScreen(Fl_Widget* box, void* data) {
    static_cast<Settings*>(data)->fullScreen = isChecked(box);
}
void onTrueColour(Fl_Widget* box, void* data) {
    static_cast<Settings*>(data)->colourDepth =
        isChecked(box) ? kTrueColourDepth : kHighColourDepth;
}
void onMusic(Fl_Widget* box, void* data) {
    static_cast<Settings*>(data)->music = isChecked(box);
}

Fl_Check_Button* placeCheckBox(const UnitRect& r, const char* text, bool checked,
                               Fl_Callback* callback, Settings& settings) {
    auto* box = place<Fl_Check_Button>(r, text);
    box->value(checked ? 1 : 0);
    box->callback(callback, &settings);
    return box;
}

struct NoDisplay {
    std::string reason;
};

// The toolkit ends the process from inside when it cannot reach a display;
// while the display opens, its fatal-error hook throws instead.
[[noreturn]] void throwNoDisplay(const char* format, ...) {
    char reason[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    throw NoDisplay{reason};
}

bool openDisplay() {
    const auto toolkitFatal = Fl::fatal;
    Fl::fatal = throwNoDisplay;
    bool opened = true;
    try {
        fl_open_display();
    } catch (const NoDisplay& failure) {
        std::fprintf(stderr, "%s\n", failure.reason.c_str());
        opened = false;
    }
    Fl::fatal = toolkitFatal;
    return opened;
}

DialogOutcome showDialog(Settings& settings) {
    if (!openDisplay()) return DialogOutcome::kNoDisplay;

    DialogState state{settings};
    Fl_Window window(dialogPixelsX(kDialogRect.x), dialogPixelsY(kDialogRect.y),
                     dialogPixelsX(kDialogRect.width), dialogPixelsY(kDialogRect.height),
                     kConfigDialogCaption);
    state.window = &window;
    window.callback(onWindowClose, &state);

    // Created in tab order: the first, "Go!", has the focus when the dialog opens.
    place<Fl_Return_Button>(kGoRect, "Go!")->callback(onGo, &state);
    place<CancelButton>(kCancelRect, "Cancel")->callback(onCancel, &state);

    UnitRect listRect = kResolutionListRect;
    listRect.height = kClosedListHeight;
    state.resolutionList = place<Fl_Choice>(listRect);
    state.resolutionList->textsize(kFontSize);
    for (const Resolution& resolution : kResolutions) {
        state.resolutionList->add(resolution.text, 0, nullptr);
    }
    state.resolutionList->value(kInitialResolution);

    placeCheckBox(kFullScreenRect, "Fullscreen", settings.fullScreen, onFullScreen, settings);
    placeCheckBox(kTrueColourRect, "True Color", settings.colourDepth == kTrueColourDepth,
                  onTrueColour, settings);
    placeCheckBox(kMusicRect, "Music", settings.music, onMusic, settings);

    place<Fl_Box>(kResolutionLabelRect, "Resolution")->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    place<GroupFrame>(kPerformanceRect, "Performance");
    place<Fl_Box>(kGreetingRect, "Best wishes from Zorvath");
    window.end();

    window.set_modal();
    window.show();
    while (window.shown()) Fl::wait();
    // Take the dialog off the screen before the show's window opens.
    Fl::flush();
    return state.outcome;
}

} // namespace

DialogOutcome runConfigDialog(Settings& settings) {
    // Opening the display switches the character locale to the user's; the
    // rest of the program keeps the one it started with.
    const std::string startLocale = std::setlocale(LC_CTYPE, nullptr);
    const DialogOutcome outcome = showDialog(settings);
    std::setlocale(LC_CTYPE, startLocale.c_str());
    return outcome;
}
