// hwl: converts PNG pictures to HWL files and back, and inspects HWL files.
//
//   hwl encode IN.png OUT.hwl [--levels L] [--bits B | --bits B0,B1,B2]
//                             [--threshold T] [--grey] [--psnr DB | --bytes N]
//   hwl decode [--raw] [--no-alpha] IN.hwl OUT
//   hwl info IN.hwl
//
// Every failure ends with one line on stderr and a non-zero exit code.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/file_kind.h"
#include "common/png_io.h"
#include "images/hwl_decoder.h"
#include "images/hwl_encode.h"
#include "images/hwl_format.h"
#include "platform/open_file.h"
#include "platform/program_start.h"

namespace {

constexpr int kExitFailure = 1;
// Larger files are refused before reading: no valid HWL file comes near it.
constexpr uint64_t kMaxHwlFileBytes = uint64_t(1) << 30;
// Searches print progress only when they run longer than this.
constexpr double kProgressDelaySeconds = 1.0;

// A failure that ends the command: one line for stderr.
struct Failure {
    std::string message;
};

std::string formatDouble(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string dbText(double db) {
    return std::isinf(db) ? "inf" : formatDouble("%.2f", db);
}

double bitsPerPixel(uint64_t bytes, int width, int height) {
    return double(bytes) * 8.0 / (double(width) * double(height));
}

void check(const hwl::HwlError& error) {
    if (error) throw Failure{error.message};
}

void check(const PngError& error) {
    if (error) throw Failure{error.message};
}

std::vector<uint8_t> readFile(const std::string& fileName) {
    std::FILE* file = openFile(fileName, "rb");
    if (!file) throw Failure{fileName + ": cannot open: " + std::strerror(errno)};
    std::vector<uint8_t> bytes;
    uint8_t buffer[1 << 16];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (bytes.size() > kMaxHwlFileBytes) break;
    }
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) throw Failure{fileName + ": cannot read: " + std::strerror(errno)};
    if (bytes.size() > kMaxHwlFileBytes) throw Failure{fileName + ": larger than any HWL file"};
    return bytes;
}

void writeFile(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::FILE* file = openFile(fileName, "wb");
    if (!file) throw Failure{fileName + ": cannot create: " + std::strerror(errno)};
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(fileName.c_str());
        throw Failure{fileName + ": cannot write: " + std::strerror(errno)};
    }
}

// "6" or "6,5,5": one width for every plane, or one per plane.
std::vector<int> parseBits(const std::string& text) {
    std::vector<int> widths;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma - start);
        if (item.size() != 1 || item[0] < '0' || item[0] > '0' + hwl::kMaxValueBits)
            throw Failure{"--bits: '" + text + "' is not B or B0,B1,B2 with widths 0 to 8"};
        widths.push_back(item[0] - '0');
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (widths.size() != 1 && widths.size() != 3)
        throw Failure{"--bits: give one width or three (B0,B1,B2), not " +
                      std::to_string(widths.size())};
    return widths;
}

// Shows "searching: trial N of M" on a terminal once a search has run for a
// while, and wipes it when done.
struct ProgressLine {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    bool shown = false;
    bool terminal = isatty(STDERR_FILENO) != 0;

    void update(int done, int planned) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (!terminal || elapsed.count() < kProgressDelaySeconds) return;
        std::fprintf(stderr, "\rsearching: trial %d of %d", done, planned);
        std::fflush(stderr);
        shown = true;
    }
    ~ProgressLine() {
        if (shown) std::fprintf(stderr, "\r\033[K");
    }
};

struct EncodeOptions {
    std::string input;
    std::string output;
    std::optional<int> levels;
    std::optional<std::string> bits;
    std::optional<double> threshold;
    bool grey = false;
    std::optional<double> psnr;
    std::optional<uint64_t> size;
};

hwl::HwlEncodeSettings settingsFor(const EncodeOptions& options, const PngImage& image) {
    hwl::HwlEncodeSettings settings;
    settings.grey = options.grey || image.channels <= 2;
    if (options.levels) {
        settings.levels = *options.levels;
    } else {
        // Without --levels small sizes still encode, with fewer levels; odd
        // sizes are refused with the message for a single level.
        const int most = hwl::largestFittingLevels(image.width, image.height);
        if (most >= 0 && most < settings.levels) {
            std::fprintf(stderr,
                         "hwl: note: %d x %d allows at most %d levels (the default is %d): "
                         "encoding with %d; sides that are multiples of %d allow %d\n",
                         image.width, image.height, most, settings.levels, most,
                         2 << settings.levels, settings.levels);
        }
        settings.levels = std::clamp(most, 0, settings.levels);
    }
    if (options.bits) {
        const std::vector<int> widths = parseBits(*options.bits);
        if (settings.grey && widths.size() != 1)
            throw Failure{"--bits: a grey file has one plane; give one width"};
        for (int p = 0; p < hwl::kMaxPlanes; ++p)
            settings.valueBits[p] = widths[widths.size() == 1 ? 0 : p];
    }
    // A threshold asks for the plain stages; otherwise details are kept by
    // their worth (the searches choose their own lambda).
    if (options.threshold)
        settings.threshold = *options.threshold;
    else
        settings.lambda = hwl::kDefaultLambda;
    check(hwl::checkEncodeSettings(settings, image.width, image.height));
    return settings;
}

void printEncoded(const std::string& fileName, const hwl::HwlEncodeSettings& settings, int width,
                  int height, uint64_t bytes, double db, const char* what) {
    std::printf("%s: %s%d x %d, %s\n", fileName.c_str(), what, width, height,
                hwl::describeSettings(settings).c_str());
    std::printf("  %" PRIu64 " bytes, %.3f bits per pixel, PSNR %s dB\n", bytes,
                bitsPerPixel(bytes, width, height), dbText(db).c_str());
}

int runEncode(const EncodeOptions& options) {
    PngImage png;
    check(readPng(options.input, png));
    const hwl::HwlEncodeSettings start = settingsFor(options, png);
    const hwl::PixelView view{png.pixels.data(), png.width, png.height, png.channels};
    const std::vector<uint8_t> reference = hwl::referencePixels(view, start.grey);

    hwl::HwlEncodeOutcome outcome;
    if (options.psnr || options.size) {
        const hwl::SearchFreedom freedom{!options.levels, !options.bits, !options.threshold};
        ProgressLine progress;
        auto report = [&](int done, int planned) { progress.update(done, planned); };
        if (options.psnr)
            check(hwl::searchForPsnr(outcome, view, start, freedom, *options.psnr, report));
        else
            check(hwl::searchForSize(outcome, view, start, freedom, *options.size, report));
    } else {
        outcome.settings = start;
        check(hwl::encodeHwl(outcome.bytes, view, start));
        check(hwl::measurePsnr(outcome.psnr, outcome.bytes, reference));
    }
    writeFile(options.output, outcome.bytes);
    printEncoded(options.output, outcome.settings, png.width, png.height, outcome.bytes.size(),
                 outcome.psnr, "");

    if (png.channels == 2 || png.channels == 4) {
        // The companion keeps at most the levels the image file ended with.
        const std::vector<uint8_t> mask = hwl::alphaChannel(view);
        hwl::HwlEncodeOutcome alpha;
        check(
            hwl::encodeHwlMask(alpha, mask.data(), png.width, png.height, outcome.settings.levels));
        const std::string alphaName = hwl::alphaCompanionName(options.output);
        writeFile(alphaName, alpha.bytes);
        printEncoded(alphaName, alpha.settings, png.width, png.height, alpha.bytes.size(),
                     alpha.psnr, "alpha mask, ");
    }
    return 0;
}

struct DecodeOptions {
    std::string input;
    std::string output;
    bool raw = false;
    bool noAlpha = false;
};

// After a decode: the decoder's error, or no image for this bits-per-pixel
// value. The decoder ignores the magic, as it must; a file that fails and
// does not start with it was most likely never an HWL file, so say that.
void checkDecoded(const hwl::HwlError& error, const hwl::HwlHeader& header,
                  const std::vector<uint8_t>& bytes, const std::string& fileName) {
    if (!error && hwl::planeCount(header.bitsPerPixel) != 0) return;
    const std::string kind = guessFileKind(bytes.data(), bytes.size());
    if (kind != "an HWL file") {
        throw Failure{fileName + ": this is not an HWL file" +
                      (kind.empty() ? std::string(" (it does not start with \"HWL\")")
                                    : " (it starts like " + kind + ")")};
    }
    check(error);
    throw Failure{fileName + ": bits per pixel " + std::to_string(header.bitsPerPixel) +
                  " holds no decodable image"};
}

std::vector<uint8_t> decodeFile(const std::string& fileName, hwl::HwlHeader& header) {
    const std::vector<uint8_t> bytes = readFile(fileName);
    std::vector<uint8_t> pixels;
    const hwl::HwlError error =
        hwl::decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), true, fileName);
    checkDecoded(error, header, bytes, fileName);
    return pixels;
}

// Bytes per row of the decoder's pixel buffer.
size_t rowBytes(const hwl::HwlHeader& header) {
    return size_t(header.width) * (header.bitsPerPixel == hwl::kGreyBitsPerPixel ? 1 : 4);
}

// The decoder's pixel buffer, written a band of rows at a time straight to
// its place in the file, so no buffer of the whole picture is ever held.
// Bands arrive from several threads at once; writeAt needs no shared offset.
void writeRawPixels(const std::string& input, const std::string& output, hwl::HwlHeader& header) {
    const std::vector<uint8_t> bytes = readFile(input);
    std::FILE* file = openFile(output, "wb");
    if (file == nullptr) throw Failure{output + ": cannot create: " + std::strerror(errno)};
    std::atomic<int> writeError{0};
    // The decoder fills `header` before the first band arrives.
    const hwl::RowSink sink = [&](int firstRow, int rowCount, const uint8_t* pixels) {
        if (writeError) return;
        const size_t length = rowBytes(header) * rowCount;
        const uint64_t at = uint64_t(rowBytes(header)) * uint64_t(firstRow);
        if (const int cause = writeAt(file, pixels, length, at); cause != 0) writeError = cause;
    };
    const hwl::HwlError error = hwl::decodeHwlRows(header, bytes.data(), bytes.size(), sink, input);
    const int closeError = std::fclose(file) == 0 ? 0 : errno;
    const bool decoded = !error && hwl::planeCount(header.bitsPerPixel) != 0;
    if (!decoded || writeError || closeError) std::remove(output.c_str());
    checkDecoded(error, header, bytes, input);
    if (writeError || closeError)
        throw Failure{
            output + ": cannot write: " + std::strerror(writeError ? int(writeError) : closeError)};
}

int runDecode(const DecodeOptions& options) {
    const std::string extension = std::filesystem::path(options.output).extension().string();
    if (!options.raw && extension != ".png" && extension != ".PNG") {
        throw Failure{options.output + ": hwl decode writes PNG: name the output .png, or give " +
                      "--raw for the decoder's pixel buffer"};
    }
    if (options.raw) {
        hwl::HwlHeader header{};
        writeRawPixels(options.input, options.output, header);
        std::printf("%s: %zu bytes, the decoder's pixel buffer of %d x %d\n",
                    options.output.c_str(), rowBytes(header) * header.height, header.width,
                    header.height);
        return 0;
    }
    hwl::HwlHeader header{};
    const std::vector<uint8_t> pixels = decodeFile(options.input, header);

    const bool colour = header.bitsPerPixel == hwl::kColourBitsPerPixel;
    const std::string alphaName = hwl::alphaCompanionName(options.input);
    std::vector<uint8_t> alpha;
    if (!options.noAlpha && std::filesystem::is_regular_file(alphaName)) {
        hwl::HwlHeader alphaHeader{};
        check(hwl::decodeMask(alpha, readFile(alphaName), alphaName));
        check(hwl::readHwlHeader(alphaName, alphaHeader));
        if (alphaHeader.width != header.width || alphaHeader.height != header.height)
            throw Failure{alphaName + ": size differs from " + options.input};
    }

    PngImage png;
    png.width = header.width;
    png.height = header.height;
    png.channels = (colour ? 3 : 1) + (alpha.empty() ? 0 : 1);
    const size_t count = size_t(png.width) * png.height;
    png.pixels.resize(count * png.channels);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* out = &png.pixels[i * png.channels];
        if (colour) {
            out[0] = pixels[i * 4 + 2]; // decoded order is blue, green, red, 0
            out[1] = pixels[i * 4 + 1];
            out[2] = pixels[i * 4 + 0];
        } else {
            out[0] = pixels[i];
        }
        if (!alpha.empty()) out[png.channels - 1] = alpha[i];
    }
    check(writePng(options.output, png));
    std::printf("%s: %s%s PNG, %d x %d%s\n", options.output.c_str(), colour ? "RGB" : "grey",
                alpha.empty() ? "" : "A", png.width, png.height,
                alpha.empty() ? "" : (", alpha from " + alphaName).c_str());
    return 0;
}

std::string magicText(const char magic[3]) {
    std::string text;
    for (int i = 0; i < 3; ++i) {
        const auto c = static_cast<unsigned char>(magic[i]);
        if (c >= ' ' && c < 0x7f) {
            text += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return "\"" + text + "\"";
}

// Prints what the header says and what its numbers imply; returns the
// reason the file is invalid, or nothing when it decodes.
std::optional<std::string> describeFile(const std::string& fileName,
                                        const std::vector<uint8_t>& bytes) {
    std::printf("file         %s, %zu bytes\n", fileName.c_str(), bytes.size());
    if (bytes.size() < size_t(hwl::kHeaderSize))
        return "file ends early: " + std::to_string(bytes.size()) + " of 36 header bytes";

    hwl::HwlHeader header{};
    std::memcpy(&header, bytes.data(), hwl::kHeaderSize);
    const int planes = hwl::planeCount(header.bitsPerPixel);
    std::printf("magic        %s%s\n", magicText(header.magic).c_str(),
                std::memcmp(header.magic, "HWL", 3) == 0 ? ""
                                                         : " (not \"HWL\"; readers ignore it)");
    std::printf("size         %u x %u\n", header.width, header.height);
    std::printf("bits/pixel   %u (%s)\n", header.bitsPerPixel,
                planes == 1   ? "grey, 1 plane"
                : planes == 3 ? "colour, 3 planes: Y, U, V"
                              : "no decodable image");
    std::printf("levels       %u (%u analysis steps, %u table entries per plane)\n", header.levels,
                header.levels + 1u, header.levels + 2u);
    for (int p = 0; p < planes; ++p) {
        std::printf("plane %d      %u symbols (%" PRIu64 " bytes), %u values of %u bits (%" PRIu64
                    " bytes)\n",
                    p, header.symbolCount[p], hwl::symbolStreamBytes(header.symbolCount[p]),
                    header.valueCount[p], header.valueBits[p],
                    hwl::valueStreamBytes(header.valueCount[p], header.valueBits[p]));
    }
    if (planes == 0)
        return "bits per pixel " + std::to_string(header.bitsPerPixel) +
               " holds no decodable image (8 or 24 expected)";
    if (hwl::HwlError error = hwl::validateHeader(header)) return error.message;

    const uint64_t implied = hwl::impliedFileSize(header);
    std::printf("implied size %" PRIu64 " bytes (header 36, tables %d x %u, streams %" PRIu64
                "); actual %zu\n",
                implied, planes, (header.levels + 2u) * 8u,
                implied - hwl::kHeaderSize - planes * (header.levels + 2u) * 8u, bytes.size());
    std::printf("rate         %.3f bits per pixel\n",
                bitsPerPixel(bytes.size(), header.width, header.height));
    if (bytes.size() < implied)
        return "file ends early: " + std::to_string(bytes.size()) + " of " +
               std::to_string(implied) + " bytes the header implies";

    hwl::HwlPlanes decoded;
    if (hwl::HwlError error =
            hwl::readHwlPlanesFromStream(bytes.data(), bytes.size(), decoded, fileName))
        return error.message;
    for (int p = 0; p < planes; ++p) {
        std::printf("table %d     ", p);
        for (int i = 0; i < header.levels + 2; ++i) std::printf(" %.6g", decoded.tables[p][i]);
        std::printf("\n");
    }
    std::vector<uint8_t> pixels;
    if (hwl::HwlError error =
            hwl::decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), true, fileName))
        return error.message;
    if (bytes.size() > implied)
        std::printf("valid        yes; %zu bytes after the data are ignored\n",
                    size_t(bytes.size() - implied));
    else
        std::printf("valid        yes\n");
    return std::nullopt;
}

int runInfo(const std::string& fileName) {
    const std::vector<uint8_t> bytes = readFile(fileName);
    if (std::optional<std::string> reason = describeFile(fileName, bytes)) {
        std::printf("valid        no: %s\n", reason->c_str());
        std::fflush(stdout);
        throw Failure{fileName + ": invalid HWL file: " + *reason};
    }
    return 0;
}

hwl::HwlEncodeSettings defaultToolSettings() {
    hwl::HwlEncodeSettings settings;
    settings.lambda = hwl::kDefaultLambda;
    return settings;
}

} // namespace

int main(int argc, char** argv) {
    startProgram(argc, argv);
    CLI::App app{"HWL images: encode PNG to HWL, decode HWL to PNG, inspect HWL files."};
    app.require_subcommand(1, 1);

    EncodeOptions encode;
    CLI::App* encodeCommand = app.add_subcommand(
        "encode", "Encode a PNG as an HWL file (colour: 24-bit; grey PNG or --grey: 8-bit). A PNG "
                  "with alpha also gives OUT_alpha.hwl, whose decoded blue channel is the alpha. "
                  "Defaults: " +
                      hwl::describeSettings(defaultToolSettings()) + ".");
    encodeCommand->add_option("input", encode.input, "PNG file to read")->required();
    encodeCommand->add_option("output", encode.output, "HWL file to write")->required();
    encodeCommand->add_option("--levels", encode.levels,
                              "Level count L (0-16); width and height must be multiples of "
                              "2^(L+1). Without it: the default, or the most the size allows");
    encodeCommand->add_option("--bits", encode.bits,
                              "Value width of every plane, or B0,B1,B2 for Y,U,V (0-8)");
    encodeCommand->add_option("--threshold", encode.threshold,
                              "Zero details of at most this magnitude (instead of keeping each "
                              "detail by the error it removes against the bits it costs)");
    encodeCommand->add_flag("--grey", encode.grey, "Write an 8-bit grey file");
    CLI::Option* psnrOption = encodeCommand->add_option(
        "--psnr", encode.psnr, "Search for the smallest file with at least this PSNR (dB)");
    // Bytes, not a picture size as --size means in the other tools: --size
    // stays as an alias for scripts written before.
    CLI::Option* sizeOption =
        encodeCommand->add_option("--bytes,--size", encode.size,
                                  "Search for the best PSNR in a file of at most this many bytes");
    psnrOption->excludes(sizeOption);

    DecodeOptions decode;
    CLI::App* decodeCommand = app.add_subcommand(
        "decode", "Decode an HWL file to a PNG (grey or RGB; RGBA or grey+alpha when an _alpha "
                  "companion exists), or with --raw to the decoder's pixel buffer.");
    decodeCommand->add_option("input", decode.input, "HWL file to read")->required();
    decodeCommand->add_option("output", decode.output, "PNG (or raw) file to write")->required();
    decodeCommand->add_flag("--raw", decode.raw,
                            "Write the pixel buffer as it is: 1 byte a pixel (8-bit files) or "
                            "blue, green, red, 0 (24-bit files), row 0 first");
    decodeCommand->add_flag("--no-alpha", decode.noAlpha, "Ignore an _alpha companion");

    std::string infoInput;
    CLI::App* infoCommand = app.add_subcommand(
        "info", "Show an HWL file's header, the sizes it implies, and whether it is valid.");
    infoCommand->add_option("input", infoInput, "HWL file to inspect")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);
        std::fprintf(stderr, "hwl: %s\n", error.what());
        return error.get_exit_code();
    }

    try {
        if (encodeCommand->parsed()) {
            if (encode.psnr && !(*encode.psnr > 0))
                throw Failure{"--psnr must be a positive number of dB"};
            if (encode.size && *encode.size == 0) throw Failure{"--bytes must be at least 1"};
            return runEncode(encode);
        }
        if (decodeCommand->parsed()) return runDecode(decode);
        return runInfo(infoInput);
    } catch (const Failure& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "hwl: %s\n", failure.message.c_str());
        return kExitFailure;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "hwl: %s\n", error.what());
        return kExitFailure;
    }
}
