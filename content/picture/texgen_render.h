// Texture-generator programs (the text form `texgen compile` reads)
// rendered through the generator library.
#pragma once

#include <string>

#include "content/picture/picture.h"

namespace picture {

// Compiles the program in `fileName` and renders it at width x height into
// RGB pixels. Compile errors name the file, line and column.
PictureError renderTexgenProgram(const std::string& fileName, int width, int height, Picture& out);

} // namespace picture
