#include "common/png_io.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/open_file.h"

namespace {

constexpr int kSignatureBytes = 8;
constexpr size_t kMessageSize = 256;

// libpng reports errors through a callback that must not return. We jump
// back into small helpers that hold no C++ objects, so no destructor is
// skipped, and keep libpng's message for our own.
struct PngSession {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::jmp_buf jump;
    char message[kMessageSize] = {};
};

void onPngError(png_structp png, png_const_charp text) {
    auto* session = static_cast<PngSession*>(png_get_error_ptr(png));
    std::snprintf(session->message, kMessageSize, "%s", text);
    std::longjmp(session->jump, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

PngError failure(const std::string& fileName, const std::string& cause) {
    return PngError{fileName + ": " + cause};
}

std::string systemCause() {
    return std::strerror(errno);
}

// Reads the header and sets the transforms that bring every PNG to 8-bit
// grey, grey + alpha, RGB or RGBA. Returns false after a libpng error.
bool readPngHeader(PngSession& session, std::FILE* file, uint32_t& width, uint32_t& height,
                   int& channels) {
    if (setjmp(session.jump)) return false;
    png_init_io(session.png, file);
    png_set_sig_bytes(session.png, kSignatureBytes);
    png_set_user_limits(session.png, kMaxPngSide, kMaxPngSide);
    png_read_info(session.png, session.info);

    const int colourType = png_get_color_type(session.png, session.info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(session.png);
    if (colourType == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(session.png);
    if (png_get_valid(session.png, session.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(session.png);
    png_set_scale_16(session.png);
    png_set_interlace_handling(session.png);
    png_read_update_info(session.png, session.info);

    width = png_get_image_width(session.png, session.info);
    height = png_get_image_height(session.png, session.info);
    channels = png_get_channels(session.png, session.info);
    return true;
}

bool readPngRows(PngSession& session, png_bytep* rows) {
    if (setjmp(session.jump)) return false;
    png_read_image(session.png, rows);
    png_read_end(session.png, nullptr);
    return true;
}

bool writePngRows(PngSession& session, std::FILE* file, uint32_t width, uint32_t height,
                  int colourType, png_bytep* rows) {
    if (setjmp(session.jump)) return false;
    png_init_io(session.png, file);
    png_set_IHDR(session.png, session.info, width, height, 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(session.png, session.info);
    png_write_image(session.png, rows);
    png_write_end(session.png, nullptr);
    return true;
}

std::vector<png_bytep> rowPointers(uint8_t* pixels, uint32_t height, size_t stride) {
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = pixels + y * stride;
    return rows;
}

} // namespace

PngError readPng(const std::string& fileName, PngImage& image) {
    std::FILE* file = openFile(fileName, "rb");
    if (!file) return failure(fileName, "cannot open: " + systemCause());

    png_byte signature[kSignatureBytes] = {};
    const size_t got = std::fread(signature, 1, kSignatureBytes, file);
    if (got != kSignatureBytes || png_sig_cmp(signature, 0, kSignatureBytes) != 0) {
        std::fclose(file);
        return failure(fileName, "not a PNG file");
    }

    PngSession session;
    session.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, onPngError, onPngWarning);
    session.info = session.png ? png_create_info_struct(session.png) : nullptr;
    if (!session.info) {
        png_destroy_read_struct(&session.png, nullptr, nullptr);
        std::fclose(file);
        return failure(fileName, "out of memory");
    }

    PngError result;
    uint32_t width = 0, height = 0;
    int channels = 0;
    if (!readPngHeader(session, file, width, height, channels)) {
        result = failure(fileName, std::string("bad PNG header: ") + session.message);
    } else if (channels < 1 || channels > 4) {
        result = failure(fileName, "unsupported PNG channel count " + std::to_string(channels));
    } else if (uint64_t(width) * height > kMaxPngPixels) {
        result = failure(fileName, std::to_string(width) + " x " + std::to_string(height) +
                                       " pixels is more than the " + std::to_string(kMaxPngPixels) +
                                       " we read");
    } else {
        const size_t stride = size_t(width) * size_t(channels);
        std::vector<uint8_t> pixels(stride * height);
        std::vector<png_bytep> rows = rowPointers(pixels.data(), height, stride);
        if (!readPngRows(session, rows.data())) {
            result = failure(fileName, std::string("truncated or corrupt PNG: ") + session.message);
        } else {
            image.width = int(width);
            image.height = int(height);
            image.channels = channels;
            image.pixels = std::move(pixels);
        }
    }
    png_destroy_read_struct(&session.png, &session.info, nullptr);
    std::fclose(file);
    return result;
}

PngError writePng(const std::string& fileName, const PngImage& image) {
    static const int kColourTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                       PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    if (image.channels < 1 || image.channels > 4)
        return failure(fileName, "cannot write " + std::to_string(image.channels) + " channels");
    if (image.width <= 0 || image.height <= 0 || uint32_t(image.width) > kMaxPngSide ||
        uint32_t(image.height) > kMaxPngSide)
        return failure(fileName, "cannot write an image of " + std::to_string(image.width) + " x " +
                                     std::to_string(image.height) + " pixels");
    const size_t stride = size_t(image.width) * size_t(image.channels);
    if (image.pixels.size() != stride * size_t(image.height))
        return failure(fileName, "pixel buffer does not match the image size");

    std::FILE* file = openFile(fileName, "wb");
    if (!file) return failure(fileName, "cannot create: " + systemCause());

    PngSession session;
    session.png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &session, onPngError, onPngWarning);
    session.info = session.png ? png_create_info_struct(session.png) : nullptr;
    PngError result;
    if (!session.info) {
        result = failure(fileName, "out of memory");
    } else {
        // libpng only reads the rows; the pointers are not const in its API.
        auto* pixels = const_cast<uint8_t*>(image.pixels.data());
        std::vector<png_bytep> rows = rowPointers(pixels, uint32_t(image.height), stride);
        if (!writePngRows(session, file, uint32_t(image.width), uint32_t(image.height),
                          kColourTypes[image.channels - 1], rows.data()))
            result = failure(fileName, std::string("cannot write PNG: ") + session.message);
    }
    png_destroy_write_struct(&session.png, &session.info);
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const bool closed = std::fclose(file) == 0;
    if (result.ok() && !(flushed && closed))
        result = failure(fileName, "cannot write: " + systemCause());
    if (!result.ok()) std::remove(fileName.c_str());
    return result;
}
