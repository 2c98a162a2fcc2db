// The list of the show's pictures: which file each comes from, its size
// and where its transparency comes from.
//
// The list is a text file (assets/pictures.txt), one picture a line:
//
//   NAME  SOURCE  WIDTHxHEIGHT  ALPHA
//
//   NAME    the output is data/NAME.hwl; letters, digits and "_"
//   SOURCE  path relative to the list's folder: a drawing (.svg, rendered
//           with librsvg) or a texture program (.txt, the text form that
//           `texgen compile` reads)
//   SIZE    powers of two, 2 to 4096 each way
//   ALPHA   companion  the drawing's alpha goes into data/NAME_alpha.hwl
//                      (drawings only)
//           blue       the show takes the texture's alpha from its own blue
//                      channel: the picture is light where it is opaque and
//                      black where it is clear, and carries no alpha itself
//           none       opaque
//
// Fields are separated by spaces or tabs; "#" starts a comment; blank lines
// are skipped. Entries keep the file's order and each name appears once.
//
// A tool that builds a show directory reads the list with readManifest,
// renders each entry with renderEntry (render_entry.h) and encodes the
// result: 4 channels for a companion entry (colour file + alpha companion),
// 3 channels otherwise.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "content/picture/picture.h"

namespace picture {

enum class AlphaKind {
    Companion, // "companion"
    OwnBlue,   // "blue"
    None,      // "none"
};

enum class SourceKind {
    Svg,            // ".svg"
    TextureProgram, // ".txt"
};

struct ManifestEntry {
    std::string name;
    std::string source; // as written, relative to the list's folder
    SourceKind sourceKind = SourceKind::Svg;
    int width = 0;
    int height = 0;
    AlphaKind alpha = AlphaKind::None;
};

// The word an alpha kind is written as.
const char* alphaKindName(AlphaKind kind);

// Parses the list's text. `fileName` only names the list in messages
// ("pictures.txt:12: unknown alpha kind \"bleu\""). Every bad line is
// reported, one line each, so that one look shows them all; `entries` then
// holds the good ones.
PictureError parseManifest(std::string_view text, const std::string& fileName,
                           std::vector<ManifestEntry>& entries);

// Reads and parses the list file.
PictureError readManifest(const std::string& fileName, std::vector<ManifestEntry>& entries);

} // namespace picture
