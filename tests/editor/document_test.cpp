// The editor's document against the generator's own calls, its refusals,
// invalid parameters, files, and the preview renderer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <unistd.h>
#include <vector>

#include "editor/document.h"
#include "editor/renderer.h"
#include "editor/show_size.h"
#include "editor/slider_scale.h"
#include "texgen/operator_table.h"
#include "texgen/validate.h"

namespace {

using editor::Document;
using texgen::TextureDescription;

constexpr int kLayer = 1;
constexpr int32_t kBlur = 33, kInvert = 30, kStretch = 26, kWood = 32, kMedian = 39;
constexpr const char* kProgram = "layer 1:\n"
                                 "perlinNoise(1,32,5,255,128,4,false);\n"
                                 "blurLayer(1,1);\n"
                                 "invertLayer(1,1); // dark to light\n"
                                 "layer 4:\n"
                                 "scaleLayerRGB(1,4,1,0.5,0.25);\n";

std::string tempPath(const std::string& name) {
    return testing::TempDir() + "texedit_" + std::to_string(::getpid()) + "_" + name;
}

std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = tempPath(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::vector<uint8_t> bytesOf(const TextureDescription& description) {
    std::vector<uint8_t> bytes(texgen::kDescriptionBytes);
    texgen::encodeDescription(description, bytes.data());
    return bytes;
}

std::vector<uint8_t> generatorBytes() {
    TextureDescription description;
    std::copy(std::begin(texgen::operationLists), std::end(texgen::operationLists),
              description.lists);
    return bytesOf(description);
}

// The same edits made directly through the generator's calls on list kLayer.
void generatorInsert(int at, int32_t opcode, const texgen::ParameterRecord& params) {
    const texgen::OperationList& list = texgen::operationLists[kLayer];
    const int last = list.count - 1;
    ASSERT_TRUE(texgen::addOperation(kLayer, false, list.opcode[last], list.params[last], -1).ok());
    for (int i = last; i > at; --i)
        texgen::setOperation(kLayer, i, list.opcode[i - 1], list.params[i - 1]);
    ASSERT_TRUE(texgen::setOperation(kLayer, at, opcode, params).ok());
}
void generatorRemove(int at) {
    const texgen::OperationList& list = texgen::operationLists[kLayer];
    for (int i = at; i + 1 < list.count; ++i)
        texgen::setOperation(kLayer, i, list.opcode[i + 1], list.params[i + 1]);
    ASSERT_TRUE(texgen::undoOperation(kLayer, false).ok());
}
void generatorSwap(int a, int b) {
    const texgen::OperationList list = texgen::operationLists[kLayer];
    texgen::setOperation(kLayer, a, list.opcode[b], list.params[b]);
    texgen::setOperation(kLayer, b, list.opcode[a], list.params[a]);
}
void generatorSet(int at, int slot, float value) {
    texgen::ParameterRecord params = texgen::operationLists[kLayer].params[at];
    params.value[slot] = value;
    ASSERT_TRUE(
        texgen::setOperation(kLayer, at, texgen::operationLists[kLayer].opcode[at], params).ok());
}

TEST(EditorDocument, EditsUndoAndRedoGiveTheGeneratorsBytes) {
    Document document;
    ASSERT_EQ(document.open(writeFile("edits.txt", kProgram)), "");
    TextureDescription start = document.description();
    std::copy(std::begin(start.lists), std::end(start.lists), texgen::operationLists);
    const auto defaults = [](int32_t opcode) { return editor::defaultParameters(opcode, kLayer); };
    struct Edit {
        int select;                        // operation selected first, -1 the header
        std::function<bool()> inDocument;  // the edit in the document
        std::function<void()> inGenerator; // the same edit through the generator
        bool mergesWithPrevious = false;   // one undo step with the edit before
    };
    const std::vector<Edit> edits = {
        {-1, [&] { return document.add(kStretch); },
         [&] { generatorInsert(3, kStretch, defaults(kStretch)); }},
        {1, [&] { return document.add(kWood); },
         [&] { generatorInsert(2, kWood, defaults(kWood)); }},
        {0, [&] { return document.insertBefore(kInvert); },
         [&] { generatorInsert(0, kInvert, defaults(kInvert)); }},
        {2, [&] { return document.duplicate(); },
         [&] { generatorInsert(3, kBlur, texgen::operationLists[kLayer].params[2]); }},
        // A drag (ongoing changes, then its release) is one step; two typed
        // values of the same slot are two.
        {3, [&] { return document.setParameter(1, 2.0f, true); },
         [&] { generatorSet(3, 1, 2.0f); }},
        {3, [&] { return document.setParameter(1, 3.0f); }, [&] { generatorSet(3, 1, 3.0f); },
         true},
        {3, [&] { return document.setParameter(1, 4.0f); }, [&] { generatorSet(3, 1, 4.0f); }},
        {3, [&] { return document.setParameter(1, 1.0f); }, [&] { generatorSet(3, 1, 1.0f); }},
        {4, [&] { return document.moveUp(); }, [&] { generatorSwap(3, 4); }},
        {1, [&] { return document.moveDown(); }, [&] { generatorSwap(1, 2); }},
        {2, [&] { return document.remove(); }, [&] { generatorRemove(2); }},
        {5, [&] { return document.remove(); }, [&] { generatorRemove(5); }},
    };
    std::vector<std::vector<uint8_t>> after = {bytesOf(document.description())};
    for (size_t i = 0; i < edits.size(); ++i) {
        document.select({kLayer, edits[i].select});
        ASSERT_TRUE(edits[i].inDocument()) << "edit " << i;
        edits[i].inGenerator();
        ASSERT_EQ(bytesOf(document.description()), generatorBytes()) << "edit " << i;
        if (edits[i].mergesWithPrevious) after.pop_back();
        after.push_back(generatorBytes());
    }
    for (size_t step = after.size() - 1; step > 0; --step) {
        ASSERT_TRUE(document.undo());
        ASSERT_EQ(bytesOf(document.description()), after[step - 1]) << "undo to step " << step - 1;
    }
    EXPECT_FALSE(document.undo());
    for (size_t step = 1; step < after.size(); ++step) {
        ASSERT_TRUE(document.redo());
        ASSERT_EQ(bytesOf(document.description()), after[step]) << "redo to step " << step;
    }
    EXPECT_FALSE(document.redo());
}

TEST(EditorDocument, RefusedEditsChangeNothing) {
    Document document;
    ASSERT_EQ(document.open(writeFile("refused.txt", kProgram)), "");
    const struct {
        int select;
        std::function<bool()> edit;
    } refused[] = {
        {-1, [&] { return document.remove(); }},
        {-1, [&] { return document.duplicate(); }},
        {0, [&] { return document.moveUp(); }},
        {2, [&] { return document.moveDown(); }},
        {0, [&] { return document.add(9); }},
        {1, [&] { return document.setParameter(2, 1.0f); }},
    };
    const auto before = bytesOf(document.description());
    for (const auto& item : refused) {
        document.select({kLayer, item.select});
        EXPECT_FALSE(item.edit());
        EXPECT_EQ(bytesOf(document.description()), before);
    }
    EXPECT_FALSE(document.canUndo());
    document.select({kLayer, -1});
    while (document.count(kLayer) < texgen::kMaxOperations) ASSERT_TRUE(document.add(kBlur));
    EXPECT_FALSE(document.add(kBlur));
    EXPECT_FALSE(document.insertBefore(kBlur));
}

TEST(EditorDocument, EveryOperatorStartsValidAndWritesItsList) {
    for (const texgen::OperatorInfo& info : texgen::operatorTable()) {
        const auto params = editor::defaultParameters(info.opcode, 3);
        EXPECT_TRUE(texgen::validateOperation(info.opcode, params).ok()) << info.name;
        EXPECT_EQ(editor::writtenLayer(info.opcode, params, 0), 3) << info.name;
    }
}

TEST(EditorDocument, InvalidParametersAreFlaggedAndNeverRun) {
    Document document;
    ASSERT_EQ(document.open(writeFile("invalid.txt", kProgram)), "");
    editor::Picture expected, shown;
    editor::renderPicture(document.runnable(), 64, expected);
    document.select({kLayer, 2});
    ASSERT_TRUE(document.add(kWood));
    ASSERT_TRUE(document.setParameter(2, 9.0f)); // rotation is 0..8
    EXPECT_EQ(document.problem(kLayer, 3), "woodLayer: parameter 2 (rotation) is 9, outside 0..8");
    ASSERT_TRUE(document.setParameter(1, 7.0f)); // and dst 0..4: both are marked
    const auto problems = document.slotProblems(kLayer, 3);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].slot, 1);
    EXPECT_EQ(problems[1].slot, 2);
    EXPECT_NE(problems[1].message.find("rotation"), std::string::npos);
    EXPECT_EQ(document.problem(kLayer, 2), "");
    EXPECT_EQ(document.runnable().lists[kLayer].count, 3);
    editor::renderPicture(document.runnable(), 64, shown);
    EXPECT_EQ(shown.error, "");
    EXPECT_EQ(shown.layers, expected.layers);
    EXPECT_NE(document.saveAs(tempPath("invalid.tex")), ""); // it would not open again
}

TEST(EditorDocument, FilesRoundTripAndOtherKindsOpenNothing) {
    Document document;
    const std::string program = writeFile("files.txt", kProgram);
    ASSERT_EQ(document.open(program), "");
    EXPECT_EQ(document.title(), "texedit_" + std::to_string(::getpid()) + "_files.txt");
    EXPECT_TRUE(document.saveLosesComments());
    const auto loaded = bytesOf(document.description());
    document.select({kLayer, 0});
    ASSERT_TRUE(document.moveDown());
    EXPECT_TRUE(document.modified());
    EXPECT_EQ(document.title().back(), '*');
    ASSERT_TRUE(document.undo());
    EXPECT_FALSE(document.modified());
    ASSERT_TRUE(document.redo());

    const std::string binary = tempPath("files.tex"), text = tempPath("export.txt");
    ASSERT_EQ(document.saveAs(binary), "");
    EXPECT_FALSE(document.modified());
    EXPECT_FALSE(document.saveLosesComments());
    ASSERT_EQ(document.exportText(text), "");
    const auto edited = bytesOf(document.description());
    EXPECT_NE(edited, loaded);
    for (const std::string& path : {binary, text}) {
        Document reread;
        ASSERT_EQ(reread.open(path), "");
        EXPECT_EQ(bytesOf(reread.description()), edited) << path;
    }

    const std::string png = "\x89PNG\r\n\x1a\n" + std::string(100, '\0');
    for (const char* name : {"picture.txt", "picture.tex"}) {
        EXPECT_NE(document.open(writeFile(name, png)).find(": it starts like a PNG picture"),
                  std::string::npos);
    }
    const std::string missing = tempPath("missing.tex");
    EXPECT_NE(document.open(missing).find(missing), std::string::npos);
    EXPECT_EQ(document.path(), binary);
    EXPECT_EQ(bytesOf(document.description()), edited);
}

// Lines the compiler refuses open in their place, save as written, and mend.
TEST(EditorDocument, BrokenLinesOpenSaveAndMend) {
    Document document;
    const std::string broken = "scaleLayerRGB(1,1,1,5,0.5,1);"; // "1,5": one argument too many
    ASSERT_EQ(document.open(writeFile("broken.txt", "layer 1:\n"
                                                    "perlinNoise(1,32,5,255,128,4,false);\n" +
                                                        broken +
                                                        "\n"
                                                        "blurLayer(1,9);\n"
                                                        "layer 9:\n")),
              "");
    ASSERT_EQ(document.count(kLayer), 4);
    EXPECT_TRUE(document.isBroken(kLayer, 1));
    EXPECT_EQ(document.line(kLayer, 1), broken);
    EXPECT_EQ(document.problem(kLayer, 1), "column 28: scaleLayerRGB takes 5 arguments, not 6");
    EXPECT_EQ(document.problem(kLayer, 2).rfind("blurLayer: parameter 1 (dst) is 9", 0), 0u);
    EXPECT_FALSE(document.isBroken(kLayer, 2)); // refused values stay editable numbers
    EXPECT_EQ(document.line(kLayer, 3), "layer 9:");
    EXPECT_EQ(document.problemCount(), 3);
    EXPECT_EQ(document.runnable().lists[kLayer].count, 1);

    const std::string saved = tempPath("broken_saved.txt");
    ASSERT_EQ(document.saveAs(saved), ""); // a program keeps them as written
    Document reread;
    ASSERT_EQ(reread.open(saved), "");
    ASSERT_EQ(reread.count(kLayer), 4);
    EXPECT_EQ(reread.line(kLayer, 1), broken);
    EXPECT_EQ(reread.programText(texgen::NumberStyle::Shortest),
              document.programText(texgen::NumberStyle::Shortest));
    EXPECT_NE(document.saveAs(tempPath("broken.tex")), ""); // a description cannot

    document.select({kLayer, 1});
    ASSERT_TRUE(document.setLine(" scaleLayerRGB(1,1,1.5,0.5,1);"));
    EXPECT_EQ(document.problem(kLayer, 1), "");
    EXPECT_EQ(document.runnable().lists[kLayer].count, 2);
    ASSERT_TRUE(document.undo());
    EXPECT_TRUE(document.isBroken(kLayer, 1));
}

TEST(EditorDocument, NumbersReadAndWrittenAsPeopleWriteThem) {
    Document document;
    ASSERT_EQ(document.open(writeFile("numbers.txt", kProgram)), "");
    document.select({4, 0});
    ASSERT_TRUE(document.setParameter(3, 0.6f));
    EXPECT_EQ(document.line(4, 0), "scaleLayerRGB(1,4,1,0.6,0.25);");
    EXPECT_NE(document.programText(texgen::NumberStyle::Shortest).find("(1,4,1,0.6,0.25);"),
              std::string::npos);
    const std::string exported = tempPath("numbers_export.txt");
    ASSERT_EQ(document.exportText(exported), "");
    std::ifstream in(exported);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(text.find("0.600000023841858"), std::string::npos);

    float value = 7.0f;
    for (const char* refused : {"1,5", "nan", "inf", "12abc", ""}) {
        EXPECT_NE(editor::parseTypedValue(texgen::ParamKind::Float, refused, value), "") << refused;
    }
    EXPECT_NE(editor::parseTypedValue(texgen::ParamKind::Float, "1,5", value).find("point"),
              std::string::npos);
    EXPECT_NE(editor::parseTypedValue(texgen::ParamKind::Int, "1.5", value), "");
    EXPECT_EQ(value, 7.0f);
    EXPECT_EQ(editor::parseTypedValue(texgen::ParamKind::Float, " 0.6 ", value), "");
    EXPECT_EQ(value, 0.6f);
    int size = 0;
    for (const char* refused : {"300", "1,024", "8192", "abc", ""})
        EXPECT_NE(editor::parseExportSize(refused, size), "") << refused;
    EXPECT_EQ(editor::parseExportSize("512", size), "");
    EXPECT_EQ(size, 512);
}

// Selecting an operation previews the texture as it stands right after it.
TEST(EditorDocument, RendersUpToTheSelectedOperation) {
    Document document;
    ASSERT_EQ(document.open(writeFile("steps.txt", kProgram)), "");
    const TextureDescription upTo = document.runnableUpTo({kLayer, 1});
    EXPECT_EQ(upTo.lists[kLayer].count, 2);
    EXPECT_EQ(upTo.lists[kLayer].opcode[1], kBlur);
    EXPECT_EQ(upTo.lists[4].count, 0);
    EXPECT_EQ(bytesOf(document.runnableUpTo({kLayer, -1})), bytesOf(document.runnable()));
}

TEST(EditorShowSize, ThePictureListGivesThePreviewSize) {
    const auto background = editor::showSizeOf(TEST_ASSETS_DIR "/textures/background.txt");
    ASSERT_TRUE(background);
    EXPECT_EQ(background->name, "background");
    EXPECT_EQ(background->size, 512);
    EXPECT_EQ(editor::showSizeOf(TEST_ASSETS_DIR "/textures/floor.txt")->size, 256);
    EXPECT_FALSE(editor::showSizeOf(writeFile("unlisted.txt", kProgram)));
}

TEST(EditorSlider, WideRangesAreLogarithmic) {
    const texgen::OperatorInfo& perlin = *texgen::findOperator(2);
    const texgen::ParamSpec& step = perlin.params[1];                     // 1..4096
    const texgen::ParamSpec& amplitude = perlin.params[3];                // 0..32768
    const texgen::ParamSpec& reach = texgen::findOperator(37)->params[2]; // 0..256
    EXPECT_TRUE(editor::isLogarithmic(step));
    EXPECT_TRUE(editor::isLogarithmic(amplitude));
    EXPECT_FALSE(editor::isLogarithmic(reach));
    EXPECT_EQ(editor::sliderValue(step, 0.0), 1.0);
    EXPECT_EQ(editor::sliderValue(step, 1.0), 4096.0);
    EXPECT_EQ(editor::sliderValue(step, 0.5), 90.0); // sqrt(2 * 4097) - 1, rounded
    EXPECT_EQ(editor::sliderValue(reach, 0.5), 128.0);
    for (double value : {0.0, 10.0, 300.0, 32768.0}) {
        EXPECT_NEAR(editor::sliderValue(amplitude, editor::sliderPosition(amplitude, value)), value,
                    0.5);
    }
}

TEST(EditorRenderer, ASupersededRenderIsNeverPublished) {
    std::vector<uint64_t> published;
    std::unique_ptr<editor::Renderer> renderer;
    std::atomic<bool> ready = false;
    renderer = std::make_unique<editor::Renderer>([&] {
        while (!ready) std::this_thread::yield();
        published.push_back(renderer->latest()->revision);
    });
    ready = true;
    Document document;
    document.select({kLayer, -1});
    ASSERT_TRUE(document.add(2)); // perlinNoise
    for (int i = 0; i < 60; ++i) ASSERT_TRUE(document.add(kMedian));
    renderer->request(document.runnable(), 1, 512); // seconds of work
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(document.open(writeFile("quick.txt", kProgram)), "");
    renderer->request(document.runnable(), 2, 64);
    while (renderer->busy()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(published, std::vector<uint64_t>{2});

    std::vector<uint32_t> words(64 * 64);
    ASSERT_TRUE(texgen::renderDescription(document.runnable(), 64, 64, words.data()).ok());
    std::vector<uint8_t> expected;
    for (uint32_t word : words)
        expected.insert(expected.end(), {uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)});
    EXPECT_EQ(renderer->latest()->layers[4], expected);
}

} // namespace
