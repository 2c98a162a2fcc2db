// texgen: renders texture description files, prints them as text, compiles
// text back into description files, and lists the operators.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/file_kind.h"
#include "common/png_io.h"
#include "images/picture_size.h"
#include "platform/open_file.h"
#include "platform/program_start.h"
#include "texgen/layers.h"
#include "texgen/operator_table.h"
#include "texgen/text_compile.h"
#include "texgen/text_export.h"
#include "texgen/validate.h"

namespace {

using namespace texgen;

constexpr int kDefaultSize = 256;
constexpr int kRgbChannels = 3;

int fail(const std::string& message) {
    std::fprintf(stderr, "texgen: %s\n", message.c_str());
    return 1;
}

// "WxH" with both sides powers of two in 2..4096.
bool parseSize(const std::string& text, int32_t& width, int32_t& height) {
    return parsePictureSize(text, width, height) && isValidLayerSize(width) &&
           isValidLayerSize(height);
}

bool readTextFile(const std::string& fileName, std::string& text) {
    std::ifstream in(utf8Path(fileName), std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

// Why `fileName` is no description file when its first bytes show another
// kind; empty otherwise (and for files that do not open, which
// readDescription reports). None of these kinds can pass for a description:
// their first word, layer 0's count, would be far outside 0..100.
std::string otherKindOfFile(const std::string& fileName) {
    const std::string kind = guessFileKind(fileName);
    if (kind == "text") {
        return fileName + ": this looks like a program (text), not a description file; " +
               "'texgen compile " + fileName + " OUT' makes a description file of it";
    }
    if (kind.empty()) return {};
    return fileName + ": not a description file: it starts like " + kind;
}

// W*H words, 0x00RRGGBB, least significant byte first.
bool writeRaw(const std::string& fileName, const std::vector<uint32_t>& pixels) {
    std::vector<uint8_t> bytes(pixels.size() * 4);
    for (size_t p = 0; p < pixels.size(); ++p) {
        for (int i = 0; i < 4; ++i) bytes[4 * p + i] = static_cast<uint8_t>(pixels[p] >> (8 * i));
    }
    std::FILE* file = openFile(fileName, "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) std::remove(fileName.c_str());
    return written && closed;
}

PngError writeRgbPng(const std::string& fileName, const std::vector<uint32_t>& pixels, int width,
                     int height) {
    PngImage image;
    image.width = width;
    image.height = height;
    image.channels = kRgbChannels;
    image.pixels.resize(pixels.size() * kRgbChannels);
    for (size_t p = 0; p < pixels.size(); ++p) {
        image.pixels[kRgbChannels * p] = static_cast<uint8_t>(pixels[p] >> 16);
        image.pixels[kRgbChannels * p + 1] = static_cast<uint8_t>(pixels[p] >> 8);
        image.pixels[kRgbChannels * p + 2] = static_cast<uint8_t>(pixels[p]);
    }
    return writePng(fileName, image);
}

int render(const std::string& input, const std::string& output, const std::string& size, bool raw) {
    int32_t width = kDefaultSize, height = kDefaultSize;
    if (!size.empty() && !parseSize(size, width, height)) {
        return fail("--size " + size + ": expected WxH, powers of two from 2 to 4096");
    }
    if (std::string other = otherKindOfFile(input); !other.empty()) return fail(other);
    auto description = std::make_unique<TextureDescription>();
    if (Status status = readDescription(input, *description); !status.ok()) {
        return fail(status.message);
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    if (Status status = renderDescription(*description, width, height, pixels.data());
        !status.ok()) {
        return fail(input + ": " + status.message);
    }
    if (raw) {
        if (!writeRaw(output, pixels)) return fail(output + ": cannot write the output");
        return 0;
    }
    if (PngError error = writeRgbPng(output, pixels, width, height)) return fail(error.message);
    return 0;
}

// Prints even a description that cannot run, so it can be mended as text:
// a comment before each operation the interpreter would refuse says why.
int text(const std::string& input) {
    if (std::string other = otherKindOfFile(input); !other.empty()) return fail(other);
    auto description = std::make_unique<TextureDescription>();
    if (Status status = readDescription(input, *description); !status.ok()) {
        return fail(status.message);
    }
    TextFaults faults;
    std::fputs(descriptionToText(*description, &faults).c_str(), stdout);
    if (faults.operations > 0 || faults.counts > 0) {
        std::string note = input + ": " + std::to_string(faults.operations) + " operation" +
                           (faults.operations == 1 ? "" : "s") + " cannot run";
        if (faults.counts > 0)
            note += ", " + std::to_string(faults.counts) + " layer" +
                    (faults.counts == 1 ? " has its" : "s have their") +
                    " operation count outside 0.." + std::to_string(kMaxOperations);
        std::fprintf(stderr,
                     "texgen: note: %s (see the comments above them); 'texgen compile' "
                     "refuses them until they are mended\n",
                     note.c_str());
    }
    return 0;
}

int compile(const std::string& input, const std::string& output) {
    std::string source;
    if (!readTextFile(input, source)) return fail(input + ": cannot read the program");
    auto description = std::make_unique<TextureDescription>();
    if (auto error = compileDescription(source, *description)) {
        return fail(input + ": " + formatCompileError(*error));
    }
    if (Status status = writeDescription(output, *description); !status.ok()) {
        return fail(status.message);
    }
    return 0;
}

std::string rangeText(const ParamSpec& param) {
    switch (param.kind) {
    case ParamKind::Layer:
    case ParamKind::Bool:
        return {};
    case ParamKind::Int:
    case ParamKind::Float: {
        std::string text;
        const bool fullRange =
            param.kind == ParamKind::Float ? param.min < -1e38 : param.min <= -2147483648.0;
        if (!fullRange) text = " " + formatFloat(param.min) + ".." + formatFloat(param.max);
        if (param.minMagnitude > 0) text += ", |x| >= " + formatFloat(param.minMagnitude);
        return text;
    }
    }
    return {};
}

int listOperators() {
    std::printf("opcode  operator            family      parameters (slot name:kind range)\n");
    for (const OperatorInfo& info : operatorTable()) {
        std::string params;
        for (int32_t slot = 0; slot < info.paramCount; ++slot) {
            const ParamSpec& param = info.params[slot];
            if (slot > 0) params += ", ";
            params += std::to_string(slot) + " " + param.name + ":" + paramKindName(param.kind) +
                      rangeText(param);
        }
        std::printf("%6d  %-18s  %-10s  %s\n", info.opcode, info.name, familyName(info.family),
                    params.c_str());
    }
    std::printf("\nmandelBrot is written as mandelBrot(dst,left,width,top,height,16) in text.\n"
                "blobsLayer counts above 16 are clamped to 16.\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    startProgram(argc, argv);
    CLI::App app{"texgen: procedural textures from 22020-byte description files"};
    app.require_subcommand(1);

    std::string input, output, size;
    bool raw = false;
    CLI::App* renderCommand = app.add_subcommand("render", "Render a description file to PNG");
    renderCommand->add_option("DESC", input, "description file (22020 bytes)")->required();
    renderCommand->add_option("OUT", output, "output PNG (RGB), or raw words with --raw")
        ->required();
    renderCommand->add_option("--size", size, "texture size WxH, powers of two 2..4096")
        ->default_str("256x256");
    renderCommand->add_flag("--raw", raw,
                            "write W*H 32-bit little-endian words 0x00RRGGBB instead of PNG");

    CLI::App* textCommand =
        app.add_subcommand("text", "Print a description file as source text, layer by layer");
    textCommand->add_option("DESC", input, "description file")->required();

    CLI::App* compileCommand =
        app.add_subcommand("compile", "Compile source text into a description file");
    compileCommand->add_option("PROGRAM", input, "source text, as 'texgen text' prints")
        ->required();
    compileCommand->add_option("OUT", output, "description file to write")->required();

    CLI::App* opsCommand = app.add_subcommand("ops", "List the 46 operators");

    // CLI11 would only say that a subcommand is required.
    const std::string first = argc > 1 ? argv[1] : "";
    if (!first.empty() && first[0] != '-' && first != "render" && first != "text" &&
        first != "compile" && first != "ops") {
        return fail(std::string("unknown command '") + argv[1] +
                    "' (commands: render, text, compile, ops)");
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& request) {
        return app.exit(request);
    } catch (const CLI::CallForAllHelp& request) {
        return app.exit(request);
    } catch (const CLI::ParseError& error) {
        // One line on stderr, unlike CLI11's default two.
        fail(error.what());
        return error.get_exit_code() != 0 ? error.get_exit_code() : 1;
    }
    if (renderCommand->parsed()) return render(input, output, size, raw);
    if (textCommand->parsed()) return text(input);
    if (compileCommand->parsed()) return compile(input, output);
    if (opsCommand->parsed()) return listOperators();
    return 1;
}
