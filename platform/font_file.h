// Where a font the program draws with is found. On Linux it is the system's
// copy, from Debian's fonts-dejavu-core; Windows has no such package, so the
// Windows build ships the font in a "fonts" folder beside the program.
//
//   loadFont(fontFile("DejaVuSans.ttf"), 13);
#pragma once

#include <string>

// The UTF-8 name of the font file `fileName` (a bare name, no folders).
std::string fontFile(const std::string& fileName);
