// How makeshow turns a rendered picture into the show's HWL files.
//
// Each kind of picture gets a quality target that suits how the show uses
// it, and the codec's search finds the smallest file reaching it (levels,
// value widths and the rate-distortion lambda chosen per picture):
//   cut-outs (alpha companion)  the colour only counts where it is seen
//   own-blue lettering and logo  hard light-on-black edges; the blue channel
//                                is also the alpha, so it needs more
//   opaque pictures              floor, back wall, loading: photograph-like,
//                                but a smooth one shows blocks early
// The "_alpha" companion of a cut-out is a mask the codec encodes on its own
// terms (hwl::encodeHwlMask).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "content/picture/manifest.h"
#include "content/picture/picture.h"
#include "images/hwl_encode.h"

// Target PSNR (dB) per kind, and the most levels a search starts from.
struct EncodeTargets {
    double cutOutDb = 0;  // on the pixels a cut-out shows (alpha above zero)
    double ownBlueDb = 0; // on all three channels
    double opaqueDb = 0;
    double smoothGradient = 0; // an opaque picture smoother than this ...
    double smoothDb = 0;       // ... gets this target instead
    int maxLevels = 0;
};

EncodeTargets defaultEncodeTargets();

// One file written for a picture, with what the report says about it.
struct EncodedFile {
    std::string path; // relative to the show directory: "data/NAME.hwl"
    std::vector<uint8_t> bytes;
    int width = 0;
    int height = 0;
    hwl::HwlEncodeSettings settings;
    double psnr = 0;
    const char* measuredOn = ""; // what the PSNR compares: "visible", "rgb", "mask"
};

// Encodes `picture` (RGBA for a companion entry, RGB otherwise) into its
// colour file and, for a companion entry, the "_alpha" file. Empty on
// success; otherwise one line naming the picture.
// A `draft` takes fixed settings instead of the search for the smallest
// file reaching the target: about as good to look at, somewhat larger, and
// ready in a fraction of the time (for the live mode's first swap).
std::string encodePicture(const picture::ManifestEntry& entry, const picture::Picture& picture,
                          const EncodeTargets& targets, std::vector<EncodedFile>& files,
                          bool draft = false);

// Hashes into `hash` everything of `targets` that changes the output.
struct ContentHash;
void hashEncodeTargets(ContentHash& hash, const EncodeTargets& targets);

// "data/quopple1.hwl      256 x 256   12.3 KiB  1.50 bpp  37.21 dB visible  colour, levels 3, ..."
std::string describeEncodedFile(const EncodedFile& file);
