#include "content/picture/svg_render.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cstdio>
#include <memory>

namespace picture {

namespace {

constexpr int kRgbaChannels = 4;

struct HandleDeleter {
    void operator()(RsvgHandle* handle) const { g_object_unref(handle); }
};
struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};

PictureError failure(const std::string& fileName, const std::string& cause) {
    return {fileName + ": " + cause};
}

// Takes the message out of a GError and frees it.
std::string takeMessage(GError* error) {
    std::string message = error ? error->message : "unknown error";
    if (error) g_error_free(error);
    return message;
}

// librsvg passes the XML parser's error on as "XML parse error: Error domain
// 1 code 5 on line 6 column 5 of data: Extra content at the end of the
// document\n". Said as "line 6, column 5: broken XML: ...", in the words of
// a person editing the drawing; other messages pass unchanged.
std::string plainSvgError(const std::string& message) {
    int domain = 0, code = 0, line = 0, column = 0, reasonAt = 0;
    if (std::sscanf(message.c_str(),
                    "XML parse error: Error domain %d code %d on line %d column %d of %*[^:]: %n",
                    &domain, &code, &line, &column, &reasonAt) != 4 ||
        reasonAt == 0)
        return message;
    constexpr int kExtraContent = 5; // the parser's code for text after the root's end
    std::string reason = message.substr(size_t(reasonAt));
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    if (code == kExtraContent) reason = "something follows the closing tag of the drawing";
    return "line " + std::to_string(line) + ", column " + std::to_string(column) +
           ": broken XML: " + reason;
}

// Cairo's pixels are native-endian words 0xAARRGGBB with the colour already
// multiplied by alpha; the encoder wants bytes R G B A with straight colour.
void unpremultiply(cairo_surface_t* surface, int width, int height, Picture& out) {
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    out.width = width;
    out.height = height;
    out.channels = kRgbaChannels;
    out.pixels.assign(size_t(width) * height * kRgbaChannels, 0);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * stride);
        for (int x = 0; x < width; ++x) {
            const uint32_t word = row[x];
            const uint32_t alpha = word >> 24;
            uint8_t* p = &out.pixels[(size_t(y) * width + x) * kRgbaChannels];
            p[3] = uint8_t(alpha);
            if (alpha == 0) continue;
            for (int c = 0; c < 3; ++c) {
                const uint32_t premultiplied = (word >> (16 - 8 * c)) & 0xFF;
                const uint32_t straight = (premultiplied * 255 + alpha / 2) / alpha;
                p[c] = uint8_t(straight > 255 ? 255 : straight);
            }
        }
    }
}

} // namespace

PictureError renderSvg(const std::string& fileName, int width, int height, Picture& out) {
    if (!isValidSide(width) || !isValidSide(height)) {
        return failure(fileName, "size " + std::to_string(width) + "x" + std::to_string(height) +
                                     " is not a power of two from 2 to 4096 each way");
    }
    GError* error = nullptr;
    std::unique_ptr<RsvgHandle, HandleDeleter> handle(
        rsvg_handle_new_from_file(fileName.c_str(), &error));
    if (!handle) return failure(fileName, plainSvgError(takeMessage(error)));

    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        return failure(fileName, cairo_status_to_string(cairo_surface_status(surface.get())));
    }
    std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
    const RsvgRectangle viewport{0, 0, double(width), double(height)};
    if (!rsvg_handle_render_document(handle.get(), context.get(), &viewport, &error)) {
        return failure(fileName, takeMessage(error));
    }
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) {
        return failure(fileName, cairo_status_to_string(cairo_status(context.get())));
    }
    cairo_surface_flush(surface.get());
    unpremultiply(surface.get(), width, height, out);
    return {};
}

} // namespace picture
