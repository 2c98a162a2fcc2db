#include "editor/editor_window.h"

#include "editor/document.h"
#include "editor/renderer.h"
#include "editor/show_size.h"
#include "editor/slider_scale.h"
#include "texgen/operator_table.h"
#include "texgen/text_export.h"
#include "texgen/validate.h"

// After our headers: Xlib's macros (Bool, None, Status) would rewrite their names.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Hor_Slider.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#undef Bool
#undef None
#undef Status

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// FLTK's headers declare this for X11 only; its Windows library has it too.
void fl_open_display();

namespace editor {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPreviewSize = 256;  // the preview's box on screen; larger renders are shrunk into it
constexpr int kUnlistedSize = 256; // the render size of a texture the show does not list
constexpr int kRenderSizes[] = {64, 128, 256, 512, 1024};
constexpr int kBigWindowLimit = 1024; // the second window's side at most
constexpr int kSliderSteps = 1000;    // positions along a slider (0..1)
constexpr int kThumbSize = 48;
constexpr int kGap = 5;
constexpr int kMenuHeight = 25;
constexpr int kListWidth = 300;
constexpr int kParamsWidth = 215;
constexpr int kRowHeight = 22;
constexpr int kWindowWidth = kGap * 4 + kListWidth + kParamsWidth + kPreviewSize;
constexpr int kWindowHeight = 600;
constexpr int kStatusHeight = 22;
constexpr double kSliderSpan = 65536.0; // ranges up to this wide get a slider
constexpr Fl_Color kProblemColour = FL_DARK_RED;
constexpr Fl_Color kTypingErrorColour = 0xFFD8D800; // a light red behind refused text

// What the second window shows.
enum class BigView { None, Tiled, Actual };

// RGB bytes drawn 1:1, optionally tiled 2 x 2, or shrunk to the box.
class PictureBox : public Fl_Box {
  public:
    PictureBox(int x, int y, int w, int h) : Fl_Box(x, y, w, h) { box(FL_NO_BOX); }

    void show(const std::vector<uint8_t>& rgb, int size) {
        size_ = size;
        const int cell = tiled_ ? w() / 2 : w();
        if (size > cell) { // shrunk: nearest pixel of each cell
            pixels_.resize(static_cast<size_t>(cell) * cell * 3);
            for (int y = 0; y < cell; ++y) {
                for (int x = 0; x < cell; ++x) {
                    const size_t from =
                        (static_cast<size_t>(y * size / cell) * size + x * size / cell) * 3;
                    std::copy_n(rgb.begin() + from, 3,
                                pixels_.begin() + (static_cast<size_t>(y) * cell + x) * 3);
                }
            }
            size_ = cell;
        } else {
            pixels_ = rgb;
        }
        redraw();
    }
    void clearPicture() {
        pixels_.clear();
        redraw();
    }
    void tiled(bool on) {
        tiled_ = on;
        redraw();
    }
    void highlighted(bool on) {
        highlighted_ = on;
        redraw();
    }

    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        fl_color(FL_DARK3);
        fl_rectf(x(), y(), w(), h());
        if (!pixels_.empty()) {
            const int tiles = tiled_ ? 2 : 1;
            for (int ty = 0; ty < tiles; ++ty) {
                for (int tx = 0; tx < tiles; ++tx) {
                    fl_draw_image(pixels_.data(), x() + tx * size_, y() + ty * size_, size_, size_,
                                  3);
                }
            }
        }
        if (highlighted_) {
            fl_color(FL_SELECTION_COLOR);
            fl_rect(x(), y(), w(), h());
            fl_rect(x() + 1, y() + 1, w() - 2, h() - 2);
        }
        fl_pop_clip();
        draw_label();
    }
    int handle(int event) override {
        if (event == FL_PUSH && when()) {
            do_callback();
            return 1;
        }
        return Fl_Box::handle(event);
    }

  private:
    std::vector<uint8_t> pixels_;
    int size_ = 0;
    bool tiled_ = false;
    bool highlighted_ = false;
};

class EditorWindow : public Fl_Double_Window {
  public:
    EditorWindow(const ViewOptions& options)
        : Fl_Double_Window(kWindowWidth, kWindowHeight), options_(options),
          renderer_([this] { Fl::awake(&EditorWindow::pictureReady, this); }) {
        callback(&EditorWindow::closeRequested, this);
        buildMenu();
        buildList();
        buildParameters();
        buildPreview();
        status_ = new Fl_Box(0, kWindowHeight - kStatusHeight, kWindowWidth, kStatusHeight);
        status_->box(FL_THIN_UP_BOX);
        status_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        status_->labelsize(12);
        end();
        resizable(nullptr);
        large_ =
            std::make_unique<Fl_Double_Window>(2 * kPreviewSize, 2 * kPreviewSize, "Tiled preview");
        largePicture_ = new PictureBox(0, 0, 2 * kPreviewSize, 2 * kPreviewSize);
        largePicture_->tiled(true);
        large_->end();
        large_->callback(
            [](Fl_Widget*, void* window) {
                static_cast<EditorWindow*>(window)->showBig(BigView::None);
            },
            this);
    }

    Document& document() { return document_; }

    // Ctrl+Y redoes too; a menu item holds one shortcut only.
    int handle(int event) override {
        if (event == FL_SHORTCUT && Fl::event_key() == 'y' && Fl::event_state(FL_CTRL) &&
            !Fl::event_state(FL_SHIFT | FL_ALT)) {
            editWith<&Document::redo>();
            return 1;
        }
        return Fl_Double_Window::handle(event);
    }

    // Everything shown follows the document: called after every change.
    void refresh() {
        refreshList();
        refreshParameters();
        refreshTitle();
        refreshPreviewChoice();
        refreshLine();
        const int problems = document_.problemCount();
        problemsText_ = problems ? std::to_string(problems) +
                                       " line(s) in red are not run: select one to mend it"
                                 : "";
        setStatus(problemsText_);
        requestPreview();
    }

    // After a file is opened or saved under another name: the size it has in the show.
    void documentPathChanged() {
        showSize_ = showSizeOf(document_.path());
        sizes_->clear();
        const int size = showSize_ ? showSize_->size : kUnlistedSize;
        const std::string side = std::to_string(size) + " x " + std::to_string(size);
        sizes_->add((side + (showSize_ ? ": the show's" : ": not in a show")).c_str());
        for (int size : kRenderSizes)
            sizes_->add((std::to_string(size) + " x " + std::to_string(size)).c_str());
        sizes_->value(0);
    }

  private:
    // --- building -------------------------------------------------------
    void buildMenu() {
        menu_ = new Fl_Menu_Bar(0, 0, kWindowWidth, kMenuHeight);
        auto item = [this](const char* path, int shortcut, void (EditorWindow::*action)(),
                           int flags = 0) {
            menu_->add(path, shortcut, &EditorWindow::menuAction, actionData(action), flags);
        };
        item("&File/&New", FL_CTRL + 'n', &EditorWindow::fileNew);
        item("&File/&Open...", FL_CTRL + 'o', &EditorWindow::fileOpen);
        item("&File/&Save", FL_CTRL + 's', &EditorWindow::fileSave);
        item("&File/Save &As...", FL_CTRL + FL_SHIFT + 's', &EditorWindow::fileSaveAs);
        item("&File/Export &Text...", FL_CTRL + 'e', &EditorWindow::fileExportText);
        item("&File/Export &PNG...", FL_CTRL + 'p', &EditorWindow::fileExportPng, FL_MENU_DIVIDER);
        item("&File/&Quit", FL_CTRL + 'q', &EditorWindow::fileQuit);
        item("&Edit/&Undo", FL_CTRL + 'z', &EditorWindow::editWith<&Document::undo>);
        item("&Edit/&Redo", FL_CTRL + FL_SHIFT + 'z', &EditorWindow::editWith<&Document::redo>,
             FL_MENU_DIVIDER);
        item("&Edit/&Add Operation...", FL_Insert, &EditorWindow::popupAdd);
        item("&Edit/&Insert Before...", FL_SHIFT + FL_Insert, &EditorWindow::popupInsert);
        item("&Edit/&Delete", FL_Delete, &EditorWindow::editWith<&Document::remove>);
        item("&Edit/D&uplicate", FL_CTRL + 'd', &EditorWindow::editWith<&Document::duplicate>);
        item("&Edit/Move U&p", FL_ALT + FL_Up, &EditorWindow::editWith<&Document::moveUp>);
        item("&Edit/Move Do&wn", FL_ALT + FL_Down, &EditorWindow::editWith<&Document::moveDown>);
        item("&View/&Tiled 2 x 2", FL_CTRL + 't', &EditorWindow::viewTiled, FL_MENU_TOGGLE);
        item("&View/&Actual Size", FL_CTRL + 'l', &EditorWindow::viewActual, FL_MENU_TOGGLE);
        addOperatorMenu(menu_, "&Add/", &EditorWindow::addChosen);
    }

    // The 46 operators under their families, in `target` below `prefix`.
    void addOperatorMenu(Fl_Menu_* target, const std::string& prefix, Fl_Callback* callback) {
        for (const texgen::OperatorInfo& info : texgen::operatorTable()) {
            const std::string path = prefix + texgen::familyName(info.family) + "/" + info.name;
            target->add(path.c_str(), 0, callback,
                        reinterpret_cast<void*>(static_cast<intptr_t>(info.opcode)));
        }
    }

    void buildList() {
        const int top = kMenuHeight + kGap;
        const int buttonsY = kWindowHeight - kStatusHeight - kGap - kRowHeight;
        const int lineY = buttonsY - kGap - kRowHeight;
        list_ = new Fl_Hold_Browser(kGap, top, kListWidth, lineY - kGap - top);
        list_->textfont(FL_COURIER);
        list_->textsize(12);
        list_->when(FL_WHEN_CHANGED);
        list_->callback(&EditorWindow::listChanged, this);
        constexpr int kLineLabelWidth = 35;
        lineInput_ = new Fl_Input(kGap + kLineLabelWidth, lineY, kListWidth - kLineLabelWidth,
                                  kRowHeight, "Line");
        lineInput_->labelsize(12);
        lineInput_->textfont(FL_COURIER);
        lineInput_->textsize(12);
        lineInput_->when(FL_WHEN_ENTER_KEY_ALWAYS);
        lineInput_->callback(&EditorWindow::lineEntered, this);
        lineInput_->tooltip("The selected operation as a program line: edit it and press Enter");
        struct Button {
            const char* label;
            const char* tip;
            void (EditorWindow::*action)();
        };
        const Button buttons[] = {
            {"Add", "Add an operation after the selection (Insert)", &EditorWindow::popupAdd},
            {"Ins", "Insert an operation before the selection (Shift+Insert)",
             &EditorWindow::popupInsert},
            {"Del", "Delete the selected operation (Delete)",
             &EditorWindow::editWith<&Document::remove>},
            {"Dup", "Duplicate the selected operation (Ctrl+D)",
             &EditorWindow::editWith<&Document::duplicate>},
            {"@8->", "Move up (Alt+Up)", &EditorWindow::editWith<&Document::moveUp>},
            {"@2->", "Move down (Alt+Down)", &EditorWindow::editWith<&Document::moveDown>},
        };
        const int count = sizeof buttons / sizeof buttons[0];
        const int width = (kListWidth - (count - 1) * 2) / count;
        for (int i = 0; i < count; ++i) {
            auto* button = new Fl_Button(kGap + i * (width + 2), buttonsY, width, kRowHeight,
                                         buttons[i].label);
            button->labelsize(12);
            button->tooltip(buttons[i].tip);
            button->callback(&EditorWindow::menuAction, actionData(buttons[i].action));
        }
    }

    void buildParameters() {
        const int left = 2 * kGap + kListWidth;
        const int top = kMenuHeight + kGap;
        operatorName_ = new Fl_Box(left, top, kParamsWidth, kRowHeight);
        operatorName_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        operatorName_->labelfont(FL_HELVETICA_BOLD);
        params_ = new Fl_Group(left, top + kRowHeight, kParamsWidth, 10 * 2 * kRowHeight);
        params_->end();
        problem_ = new Fl_Box(left, top + kRowHeight * 21 + kGap, kParamsWidth, 3 * kRowHeight);
        problem_->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        problem_->labelcolor(kProblemColour);
        problem_->labelsize(12);
    }

    void buildPreview() {
        const int left = 3 * kGap + kListWidth + kParamsWidth;
        const int top = kMenuHeight + kGap;
        preview_ = new PictureBox(left, top, kPreviewSize, kPreviewSize);
        const int thumbGap =
            (kPreviewSize - texgen::kLayerCount * kThumbSize) / (texgen::kLayerCount - 1);
        const int thumbsY = top + kPreviewSize + kGap;
        for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
            thumbLabels_[layer] = "layer " + std::to_string(layer);
            auto* thumb = new PictureBox(left + layer * (kThumbSize + thumbGap), thumbsY,
                                         kThumbSize, kThumbSize);
            thumb->label(thumbLabels_[layer].c_str());
            thumb->labelsize(11);
            thumb->align(FL_ALIGN_BOTTOM);
            thumb->tooltip("Show this layer in the preview");
            thumb->when(FL_WHEN_RELEASE);
            thumb->callback(&EditorWindow::thumbPicked,
                            reinterpret_cast<void*>(static_cast<intptr_t>(layer)));
            thumbs_[layer] = thumb;
        }
        shows_ = new Fl_Choice(left + 50, thumbsY + kThumbSize + 22, kPreviewSize - 50, kRowHeight,
                               "Shows");
        shows_->labelsize(12);
        shows_->textsize(12);
        shows_->callback(&EditorWindow::showsChanged, this);
        shows_->tooltip("The layer the big preview shows; by default the one the selected "
                        "operation writes, as it stands right after that operation");
        sizes_ = new Fl_Choice(left + 50, thumbsY + kThumbSize + 22 + kRowHeight + kGap,
                               kPreviewSize - 50, kRowHeight, "Size");
        sizes_->labelsize(12);
        sizes_->textsize(12);
        sizes_->callback(&EditorWindow::sizeChanged, this);
        sizes_->tooltip("The size the preview renders at: by default the size the picture has "
                        "in the show (its picture list, pictures.txt, names it)");
        documentPathChanged();
    }

    // --- refreshing -----------------------------------------------------
    void refreshList() {
        const int top = list_->topline();
        list_->clear();
        lines_.clear();
        const Selection selection = document_.selection();
        for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
            list_->add(("@b@.layer " + std::to_string(layer) + ":").c_str());
            lines_.push_back({layer, -1});
            for (int index = 0; index < document_.count(layer); ++index) {
                const bool bad = !document_.problem(layer, index).empty();
                // '@.' ends the format codes: a line may start with '@' itself.
                list_->add(((bad ? "@C1@.  " : "@.  ") + document_.line(layer, index)).c_str());
                lines_.push_back({layer, index});
                if (bad) { // the message under the line, in small italics
                    list_->add(("@s@i@C1@.      " + document_.problem(layer, index)).c_str());
                    lines_.push_back({layer, index});
                }
            }
        }
        for (size_t line = 0; line < lines_.size(); ++line) {
            if (lines_[line] == selection) {
                list_->value(static_cast<int>(line) + 1);
                break;
            }
        }
        list_->topline(top);
        if (list_->value()) list_->make_visible(list_->value());
    }

    void refreshTitle() {
        title_ = document_.title() + " - texedit";
        label(title_.c_str());
    }

    // Rebuilds the fields when another operation is selected, else updates their values.
    void refreshParameters() {
        const Selection selection = document_.selection();
        const int32_t opcode =
            selection.index >= 0 ? document_.opcode(selection.layer, selection.index) : -1;
        const texgen::OperatorInfo* info = texgen::findOperator(opcode);
        if (!(selection == shownSelection_) || opcode != shownOpcode_) {
            shownSelection_ = selection;
            shownOpcode_ = opcode;
            buildFields(info);
        }
        const bool broken =
            selection.index >= 0 && document_.isBroken(selection.layer, selection.index);
        operatorName_->copy_label(info                   ? info->name
                                  : broken               ? "Line that does not compile"
                                  : selection.index >= 0 ? "(unused opcode)"
                                                         : "");
        if (!info) {
            problem_->copy_label(
                broken ? (document_.problem(selection.layer, selection.index) +
                          "\nMend it in the Line field under the list and press Enter.")
                             .c_str()
                : selection.index < 0 ? "Select an operation to edit it; Insert adds one."
                                      : "");
            return;
        }
        const auto& params = document_.params(selection.layer, selection.index);
        const auto problems = document_.slotProblems(selection.layer, selection.index);
        std::string messages;
        for (int slot = 0; slot < info->paramCount; ++slot) {
            if (!fields_[slot].typingError.empty()) messages += fields_[slot].typingError + "\n";
        }
        for (const SlotProblem& problem : problems) messages += problem.message + "\n";
        problem_->copy_label(messages.c_str());
        for (int slot = 0; slot < info->paramCount; ++slot) {
            Field& field = fields_[slot];
            const float value = params.value[slot];
            if (field.choice) field.choice->value(static_cast<int>(value));
            if (field.check) field.check->value(value == 1.0f);
            if (field.input && field.typingError.empty())
                field.input->value(valueText(info->params[slot].kind, value).c_str());
            if (field.slider) field.slider->value(sliderPosition(info->params[slot], value));
            const bool refused =
                !field.typingError.empty() ||
                std::any_of(problems.begin(), problems.end(),
                            [&](const SlotProblem& problem) { return problem.slot == slot; });
            field.label->labelcolor(refused ? kProblemColour : FL_FOREGROUND_COLOR);
            if (field.input)
                field.input->color(refused ? kTypingErrorColour : FL_BACKGROUND2_COLOR);
        }
        params_->redraw();
    }

    // A value as a person writes it: floats in their shortest form ("0.6").
    static std::string valueText(texgen::ParamKind kind, float value) {
        if (kind == texgen::ParamKind::Float) return texgen::formatShortest(value);
        char text[32];
        std::snprintf(text, sizeof text, "%.0f", std::trunc(static_cast<double>(value)));
        return text;
    }

    void refreshLine() {
        const Selection selection = document_.selection();
        if (selection.index < 0) {
            lineInput_->value("");
            lineInput_->deactivate();
            return;
        }
        lineInput_->activate();
        lineInput_->value(document_.line(selection.layer, selection.index).c_str());
        lineInput_->color(document_.isBroken(selection.layer, selection.index)
                              ? kTypingErrorColour
                              : FL_BACKGROUND2_COLOR);
        lineInput_->redraw();
    }

    struct Field {
        Fl_Box* label = nullptr;
        Fl_Choice* choice = nullptr;
        Fl_Check_Button* check = nullptr;
        Fl_Input* input = nullptr;
        Fl_Hor_Slider* slider = nullptr;
        std::string text;
        std::string typingError; // why the typed text was refused; it stays in the field
    };

    void buildFields(const texgen::OperatorInfo* info) {
        params_->clear();
        fields_.assign(texgen::kParameterCount, Field{});
        if (!info) {
            problem_->position(params_->x(), params_->y());
            redraw();
            return;
        }
        params_->begin();
        const int left = params_->x();
        for (int slot = 0; slot < info->paramCount; ++slot) {
            const texgen::ParamSpec& slotInfo = info->params[slot];
            Field& field = fields_[slot];
            const int y = params_->y() + slot * 2 * kRowHeight;
            field.text = std::string(slotInfo.name) + "  (" + texgen::paramKindName(slotInfo.kind) +
                         rangeText(slotInfo) + ")";
            field.label = new Fl_Box(left, y, kParamsWidth, kRowHeight - 4);
            field.label->label(field.text.c_str());
            field.label->labelsize(12);
            field.label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_BOTTOM);
            void* data = reinterpret_cast<void*>(static_cast<intptr_t>(slot));
            const int rowY = y + kRowHeight - 4;
            switch (slotInfo.kind) {
            case texgen::ParamKind::Layer:
                field.choice = new Fl_Choice(left, rowY, 80, kRowHeight);
                field.choice->add("0|1|2|3|4");
                field.choice->callback(&EditorWindow::fieldChanged, data);
                break;
            case texgen::ParamKind::Bool:
                field.check = new Fl_Check_Button(left, rowY, 80, kRowHeight, "on");
                field.check->callback(&EditorWindow::fieldChanged, data);
                break;
            default: {
                const bool bounded = slotInfo.max - slotInfo.min <= kSliderSpan;
                field.input =
                    new Fl_Input(left, rowY, bounded ? 80 : kParamsWidth - 10, kRowHeight);
                field.input->textsize(12);
                field.input->when(FL_WHEN_RELEASE | FL_WHEN_ENTER_KEY);
                field.input->callback(&EditorWindow::fieldChanged, data);
                if (bounded) {
                    field.slider =
                        new Fl_Hor_Slider(left + 85, rowY + 2, kParamsWidth - 95, kRowHeight - 4);
                    field.slider->bounds(0.0, 1.0);
                    field.slider->step(1.0 / kSliderSteps);
                    field.slider->when(FL_WHEN_CHANGED | FL_WHEN_RELEASE);
                    field.slider->callback(&EditorWindow::fieldChanged, data);
                    if (isLogarithmic(slotInfo)) field.slider->tooltip("Logarithmic");
                }
            }
            }
        }
        params_->end();
        // The validator's messages go right under the last field.
        const int fieldsHeight = info->paramCount * 2 * kRowHeight;
        problem_->position(params_->x(), params_->y() + fieldsHeight + kGap);
        redraw();
    }

    static std::string rangeText(const texgen::ParamSpec& slotInfo) {
        if (slotInfo.kind != texgen::ParamKind::Int && slotInfo.kind != texgen::ParamKind::Float)
            return "";
        // Any float, or any 32-bit integer: the kind says it all.
        if (slotInfo.max - slotInfo.min >= std::numeric_limits<uint32_t>::max()) return "";
        char text[64];
        if (slotInfo.min == -slotInfo.max) {
            std::snprintf(text, sizeof text, ", \u00b1%.10g", slotInfo.max);
        } else {
            std::snprintf(text, sizeof text, ", %.10g..%.10g", slotInfo.min, slotInfo.max);
        }
        return text;
    }

    int shownLayer() const {
        const int chosen = shows_->value() - 1;
        if (chosen >= 0) return chosen;
        const Selection selection = document_.selection();
        if (selection.index < 0) return selection.layer;
        return writtenLayer(document_.opcode(selection.layer, selection.index),
                            document_.params(selection.layer, selection.index), selection.layer);
    }

    void refreshPreviewChoice() {
        const int value = shows_->value() < 0 ? 0 : shows_->value();
        shows_->clear();
        const Selection selection = document_.selection();
        int automatic = selection.layer;
        if (selection.index >= 0) {
            automatic =
                writtenLayer(document_.opcode(selection.layer, selection.index),
                             document_.params(selection.layer, selection.index), selection.layer);
        }
        shows_->add(("Auto: layer " + std::to_string(automatic)).c_str());
        for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
            shows_->add(("Layer " + std::to_string(layer)).c_str());
        }
        shows_->value(value);
        showPicture();
    }

    void showPicture() {
        const int layer = shownLayer();
        for (int i = 0; i < texgen::kLayerCount; ++i) thumbs_[i]->highlighted(i == layer);
        if (picture_ && bigView_ != BigView::None) {
            // The second window: the picture 1:1, or tiled 2 x 2, as far as the screen allows.
            const int side =
                std::min((bigView_ == BigView::Tiled ? 2 : 1) * picture_->size, kBigWindowLimit);
            if (large_->w() != side) {
                large_->size(side, side);
                largePicture_->resize(0, 0, side, side);
            }
        }
        if (picture_ && !picture_->layers[layer].empty()) {
            largePicture_->show(picture_->layers[layer], picture_->size);
        } else {
            largePicture_->clearPicture();
        }
        if (!picture_ || picture_->layers[layer].empty()) {
            preview_->clearPicture();
            return;
        }
        preview_->show(picture_->layers[layer], picture_->size);
    }

    int renderSize() const {
        const int chosen = sizes_->value() - 1;
        if (chosen >= 0) return kRenderSizes[chosen];
        return showSize_ ? showSize_->size : kUnlistedSize;
    }

    // The texture as it stands right after the selected operation.
    void requestPreview() {
        requestedAt_ = Clock::now();
        requestedRevision_ = document_.revision();
        requestedStop_ = document_.selection();
        renderer_.request(document_.runnableUpTo(requestedStop_), document_.revision(),
                          renderSize());
    }

    void setStatus(const std::string& text) {
        statusText_ = text;
        status_->label(statusText_.c_str());
    }

    // --- the renderer's pictures (on the interface thread) --------------
    static void pictureReady(void* data) {
        auto* window = static_cast<EditorWindow*>(data);
        auto picture = window->renderer_.latest();
        if (!picture || picture == window->picture_) return;
        window->picture_ = picture;
        for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
            if (picture->layers[layer].empty()) {
                window->thumbs_[layer]->clearPicture();
            } else {
                window->thumbs_[layer]->show(picture->layers[layer], picture->size);
            }
        }
        window->showPicture();
        Fl::flush();
        const double shownAfter =
            std::chrono::duration<double, std::milli>(Clock::now() - window->requestedAt_).count();
        if (picture->revision == window->requestedRevision_) {
            char text[160];
            const Selection stop = window->requestedStop_;
            const std::string after = stop.index < 0
                                          ? ""
                                          : " after layer " + std::to_string(stop.layer) +
                                                ", operation " + std::to_string(stop.index + 1);
            std::snprintf(text, sizeof text, "Preview %d x %d%s in %.0f ms", picture->size,
                          picture->size, after.c_str(), shownAfter);
            std::string status = picture->error.empty() ? text : picture->error;
            if (!window->problemsText_.empty()) status += "  |  " + window->problemsText_;
            window->setStatus(status);
            if (window->options_.printTimings) {
                std::printf("preview %llu %.1f\n",
                            static_cast<unsigned long long>(picture->revision), shownAfter);
                std::fflush(stdout);
            }
        }
    }

    // --- callbacks --------------------------------------------------------
    // Menu items and buttons carry the index of their action.
    void* actionData(void (EditorWindow::*action)()) {
        actions_.push_back(action);
        return reinterpret_cast<void*>(static_cast<intptr_t>(actions_.size() - 1));
    }
    static void menuAction(Fl_Widget* widget, void* data) {
        auto* window = static_cast<EditorWindow*>(widget->window());
        (window->*window->actions_[reinterpret_cast<intptr_t>(data)])();
    }

    static void addChosen(Fl_Widget* widget, void* data) {
        auto* window = static_cast<EditorWindow*>(widget->window());
        window->edit([&] {
            return window->document_.add(static_cast<int32_t>(reinterpret_cast<intptr_t>(data)));
        });
    }

    static void listChanged(Fl_Widget*, void* data) {
        auto* window = static_cast<EditorWindow*>(data);
        const int line = window->list_->value();
        if (line < 1 || line > static_cast<int>(window->lines_.size())) return;
        window->document_.select(window->lines_[line - 1]);
        window->refreshParameters();
        window->refreshLine();
        window->refreshPreviewChoice();
        window->requestPreview();
    }

    static void fieldChanged(Fl_Widget* widget, void* data) {
        auto* window = static_cast<EditorWindow*>(widget->window());
        const int slot = static_cast<int>(reinterpret_cast<intptr_t>(data));
        const Selection selection = window->document_.selection();
        if (selection.index < 0) return;
        const texgen::OperatorInfo* info =
            texgen::findOperator(window->document_.opcode(selection.layer, selection.index));
        if (!info || slot >= info->paramCount) return;
        const texgen::ParamSpec& param = info->params[slot];
        Field& field = window->fields_[slot];
        float value = 0.0f;
        bool ongoing = false; // a slider still held: its moves make one undo step
        if (auto* choice = dynamic_cast<Fl_Choice*>(widget)) {
            value = static_cast<float>(choice->value());
        } else if (auto* check = dynamic_cast<Fl_Check_Button*>(widget)) {
            value = check->value() ? 1.0f : 0.0f;
        } else if (widget == field.slider) {
            value = static_cast<float>(sliderValue(param, field.slider->value()));
            ongoing = Fl::event() == FL_DRAG || Fl::event() == FL_PUSH;
        } else {
            field.typingError = parseTypedValue(param.kind, field.input->value(), value);
            if (!field.typingError.empty()) {
                field.typingError = std::string(param.name) + ": " + field.typingError;
                window->refreshParameters();
                return;
            }
        }
        field.typingError.clear();
        if (!window->document_.setParameter(slot, value, ongoing))
            window->refreshParameters();
        else
            window->refresh();
    }

    static void lineEntered(Fl_Widget*, void* data) {
        auto* window = static_cast<EditorWindow*>(data);
        window->edit([&] { return window->document_.setLine(window->lineInput_->value()); });
    }

    static void sizeChanged(Fl_Widget*, void* data) {
        static_cast<EditorWindow*>(data)->requestPreview();
    }

    static void thumbPicked(Fl_Widget* widget, void* data) {
        auto* window = static_cast<EditorWindow*>(widget->window());
        window->shows_->value(static_cast<int>(reinterpret_cast<intptr_t>(data)) + 1);
        window->showPicture();
    }

    static void showsChanged(Fl_Widget*, void* data) {
        static_cast<EditorWindow*>(data)->showPicture();
    }

    static void closeRequested(Fl_Widget*, void* data) {
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return; // Escape is no quit
        static_cast<EditorWindow*>(data)->fileQuit();
    }

    template <typename Edit> void edit(Edit&& change) {
        if (change()) refresh();
    }

    // --- actions ----------------------------------------------------------
    template <bool (Document::*change)()> void editWith() {
        edit([this] { return (document_.*change)(); });
    }
    void popupAdd() { popupOperators(false); }
    void popupInsert() { popupOperators(true); }

    void popupOperators(bool before) {
        Fl_Group::current(nullptr);
        Fl_Menu_Button popup(0, 0, 0, 0);
        addOperatorMenu(&popup, "", nullptr);
        const Fl_Menu_Item* chosen = popup.menu()->popup(Fl::event_x(), Fl::event_y(),
                                                         before ? "Insert before" : "Add after");
        if (!chosen || !chosen->user_data()) return;
        const auto opcode = static_cast<int32_t>(reinterpret_cast<intptr_t>(chosen->user_data()));
        edit([&] { return before ? document_.insertBefore(opcode) : document_.add(opcode); });
        if (document_.count(document_.selection().layer) >= texgen::kMaxOperations) {
            setStatus("This layer holds the most operations a list can");
        }
    }

    // The second window: the 256 x 256 picture tiled 2 x 2, or a 512 x 512 render.
    void viewTiled() { showBig(bigView_ == BigView::Tiled ? BigView::None : BigView::Tiled); }
    void viewActual() { showBig(bigView_ == BigView::Actual ? BigView::None : BigView::Actual); }
    void showBig(BigView view) {
        bigView_ = view;
        setMenuCheck("&View/&Tiled 2 x 2", view == BigView::Tiled);
        setMenuCheck("&View/&Actual Size", view == BigView::Actual);
        largePicture_->tiled(view == BigView::Tiled);
        large_->label(view == BigView::Tiled ? "Tiled preview" : "Preview, actual size");
        if (view == BigView::None) {
            large_->hide();
        } else {
            // Beside the editor where the screen has room (there may be no window manager).
            if (!large_->shown() && x() + w() + kGap + large_->w() <= Fl::w()) {
                large_->position(x() + w() + kGap, y());
            }
            large_->show();
        }
        showPicture();
    }
    void setMenuCheck(const char* path, bool on) {
        if (Fl_Menu_Item* item = const_cast<Fl_Menu_Item*>(menu_->find_item(path))) {
            if (on) {
                item->set();
            } else {
                item->clear();
            }
        }
    }

    // False when the person cancels.
    bool keepChanges() {
        if (!document_.modified()) return true;
        const std::string& path = document_.path();
        const int answer = fl_choice("%s has unsaved changes.", "Cancel", "Save", "Discard",
                                     path.empty() ? "The new texture" : path.c_str());
        if (answer == 0) return false;
        if (answer == 1) return saveChecked();
        return true;
    }

    bool saveChecked() {
        if (document_.path().empty()) return saveAsChosen();
        if (document_.saveLosesComments()) {
            const int answer = fl_choice(
                "%s has comments. Saving writes the program as text again, "
                "without them.",
                "Cancel", "Save As...", "Save Without Comments", document_.path().c_str());
            if (answer == 0) return false;
            if (answer == 1) return saveAsChosen();
        }
        return report(document_.save());
    }

    // The chooser offers the kind of file being edited first; a name typed
    // without an extension gets that kind's.
    bool saveAsChosen() {
        const bool program = document_.isProgram();
        const char* path = fl_file_chooser("Save As",
                                           program ? "Programs (*.txt)\tDescriptions (*.tex)"
                                                   : "Descriptions (*.tex)\tPrograms (*.txt)",
                                           document_.path().c_str());
        if (!path) return false;
        std::filesystem::path chosen = path;
        if (!chosen.has_extension()) chosen += program ? ".txt" : ".tex";
        const bool saved = report(document_.saveAs(chosen.string()));
        if (saved) {
            documentPathChanged();
            requestPreview();
        }
        return saved;
    }

    bool report(const std::string& error) {
        refreshTitle();
        if (!error.empty()) fl_alert("%s", error.c_str());
        return error.empty();
    }

    void fileNew() {
        if (!keepChanges()) return;
        document_.clear();
        documentPathChanged();
        refresh();
    }
    void fileOpen() {
        if (!keepChanges()) return;
        const char* path = fl_file_chooser("Open", "Textures (*.{tex,txt})", nullptr);
        if (path && report(document_.open(path))) {
            documentPathChanged();
            refresh();
        }
    }
    void fileSave() { saveChecked(); }
    void fileSaveAs() { saveAsChosen(); }
    void fileExportText() {
        const char* path = fl_file_chooser("Export Program as Text", "Programs (*.txt)", nullptr);
        if (path) report(document_.exportText(path));
    }
    void fileExportPng() {
        const char* path = fl_file_chooser("Export PNG", "PNG (*.png)", nullptr);
        if (!path) return;
        const std::string file = path;
        const std::optional<int> size = askExportSize();
        if (!size) return;
        fl_cursor(FL_CURSOR_WAIT);
        Fl::flush();
        report(exportPng(document_.runnable(), *size, file));
        fl_cursor(FL_CURSOR_DEFAULT);
    }
    // A small dialog that stays open, saying why, until the size is one the
    // generator renders or the person cancels.
    std::optional<int> askExportSize() {
        constexpr int kDialogWidth = 340, kDialogHeight = 120, kButtonWidth = 80;
        Fl_Group::current(nullptr);
        Fl_Double_Window dialog(kDialogWidth, kDialogHeight, "PNG size");
        Fl_Input input(kGap + 150, kGap, kDialogWidth - 2 * kGap - 150, kRowHeight,
                       "Size (a power of two):");
        input.value(std::to_string(renderSize()).c_str());
        input.when(FL_WHEN_NEVER); // Enter presses Export
        Fl_Box message(kGap, 2 * kGap + kRowHeight, kDialogWidth - 2 * kGap, 2 * kRowHeight);
        message.align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        message.labelcolor(kProblemColour);
        message.labelsize(12);
        const int buttonsY = kDialogHeight - kGap - kRowHeight;
        Fl_Button cancel(kDialogWidth - 2 * (kGap + kButtonWidth), buttonsY, kButtonWidth,
                         kRowHeight, "Cancel");
        Fl_Return_Button export_(kDialogWidth - kGap - kButtonWidth, buttonsY, kButtonWidth,
                                 kRowHeight, "Export");
        dialog.end();
        dialog.position(x() + (w() - kDialogWidth) / 2, y() + (h() - kDialogHeight) / 3);
        dialog.set_modal();
        dialog.show();
        input.take_focus();
        input.position(input.size(), 0); // all selected: typing replaces it
        std::string error;
        for (;;) {
            Fl_Widget* pressed = Fl::readqueue();
            if (!pressed) {
                if (!dialog.shown()) return std::nullopt;
                Fl::wait();
                continue;
            }
            if (pressed == &cancel || pressed == &dialog) return std::nullopt;
            if (pressed != &export_) continue;
            int size = 0;
            error = parseExportSize(input.value(), size);
            if (error.empty()) return size;
            message.label(error.c_str());
            message.redraw();
            input.take_focus();
            input.position(input.size(), 0);
        }
    }

    void fileQuit() {
        if (!keepChanges()) return;
        large_->hide();
        hide();
    }

    const ViewOptions options_;
    Document document_;
    Renderer renderer_;
    std::shared_ptr<const Picture> picture_;
    Clock::time_point requestedAt_;
    uint64_t requestedRevision_ = 0;

    Fl_Menu_Bar* menu_ = nullptr;
    std::vector<void (EditorWindow::*)()> actions_;
    Fl_Hold_Browser* list_ = nullptr;
    std::vector<Selection> lines_;
    Fl_Box* operatorName_ = nullptr;
    Fl_Group* params_ = nullptr;
    std::vector<Field> fields_;
    Selection shownSelection_{-1, -1};
    int32_t shownOpcode_ = -2;
    Fl_Box* problem_ = nullptr;
    PictureBox* preview_ = nullptr;
    PictureBox* thumbs_[texgen::kLayerCount] = {};
    std::string thumbLabels_[texgen::kLayerCount];
    Fl_Choice* shows_ = nullptr;
    Fl_Box* status_ = nullptr;
    std::string statusText_;
    std::string problemsText_;
    std::string title_;
    BigView bigView_ = BigView::None;
    std::optional<ShowSize> showSize_;
    Fl_Choice* sizes_ = nullptr;
    Fl_Input* lineInput_ = nullptr;
    Selection requestedStop_;
    std::unique_ptr<Fl_Double_Window> large_;
    PictureBox* largePicture_ = nullptr;
};

[[noreturn]] void throwNoDisplay(const char* format, ...) {
    throw std::runtime_error(format);
}

} // namespace

int runEditor(const std::string& path, const ViewOptions& options) {
    const auto toolkitFatal = Fl::fatal;
    Fl::fatal = throwNoDisplay;
    try {
        fl_open_display();
    } catch (const std::exception&) {
        std::fprintf(stderr, "texedit: cannot open the display\n");
        return 1;
    }
    Fl::fatal = toolkitFatal;
    Fl::lock(); // the renderer's thread hands pictures over with Fl::awake
    auto window = std::make_unique<EditorWindow>(options);
    if (!path.empty()) {
        if (std::string error = window->document().open(path); !error.empty()) {
            std::fprintf(stderr, "texedit: %s\n", error.c_str());
            return 1;
        }
    }
    window->documentPathChanged();
    window->refresh();
    window->show();
    return Fl::run();
}

} // namespace editor
