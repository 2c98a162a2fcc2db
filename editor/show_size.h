// The size a texture has in the show. The show's picture list (pictures.txt,
// in the program's folder or the one above it, as assets/pictures.txt is for
// assets/textures/NAME.txt) names each picture's source and its size; pixel-
// sized operations (steps, radii, shifts) make a texture rendered at another
// size a different picture, so the preview renders at this one.
#pragma once

#include <optional>
#include <string>

namespace editor {

struct ShowSize {
    std::string name; // the picture's name in the list
    int size = 0;     // width and height
};

// The entry whose source is `path`, when a list has one with a square size
// the generator can render.
std::optional<ShowSize> showSizeOf(const std::string& path);

} // namespace editor
