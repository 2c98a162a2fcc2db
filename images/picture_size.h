// A picture size as the tools take it on their command line: "WxH", two
// decimal numbers and an x, nothing else. Each caller checks the range it
// can draw or render.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

inline bool parsePictureSize(std::string_view text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    const auto w = std::from_chars(begin, begin + x, width);
    const auto h = std::from_chars(begin + x + 1, end, height);
    return w.ec == std::errc() && w.ptr == begin + x && h.ec == std::errc() && h.ptr == end;
}
