#include "images/hwl_format.h"

#include <utility>

namespace hwl {

HwlError hwlFailure(HwlStatus status, std::string message) {
    return HwlError{status, std::move(message)};
}

int planeCount(uint8_t bitsPerPixel) {
    if (bitsPerPixel == kGreyBitsPerPixel) return 1;
    if (bitsPerPixel == kColourBitsPerPixel) return 3;
    return 0;
}

std::string alphaCompanionName(const std::string& fileName) {
    const std::string extension = ".hwl";
    const size_t slash = fileName.find_last_of('/');
    const size_t dot = fileName.rfind(extension);
    const bool hasExtension = dot != std::string::npos &&
                              dot + extension.size() == fileName.size() &&
                              (slash == std::string::npos || dot > slash);
    if (!hasExtension) return fileName + "_alpha";
    return fileName.substr(0, dot) + "_alpha" + extension;
}

uint64_t symbolStreamBytes(uint64_t symbolCount) {
    return (symbolCount + 3) / 4;
}

uint64_t valueStreamBytes(uint64_t valueCount, int valueBits) {
    return (valueCount * static_cast<uint64_t>(valueBits) + 7) / 8;
}

uint64_t impliedFileSize(const HwlHeader& header) {
    const int planes = planeCount(header.bitsPerPixel);
    uint64_t size = kHeaderSize;
    size += static_cast<uint64_t>(planes) * (header.levels + 2u) * sizeof(double);
    for (int p = 0; p < planes; ++p) {
        size += symbolStreamBytes(header.symbolCount[p]);
        size += valueStreamBytes(header.valueCount[p], header.valueBits[p]);
    }
    return size;
}

HwlError validateHeader(const HwlHeader& header) {
    const int planes = planeCount(header.bitsPerPixel);
    if (planes == 0) {
        return hwlFailure(HwlStatus::InvalidFile, "unsupported bits per pixel " +
                                                      std::to_string(header.bitsPerPixel) +
                                                      " (8 or 24 expected)");
    }
    if (header.levels > kMaxLevels) {
        return hwlFailure(HwlStatus::InvalidFile, "level count " + std::to_string(header.levels) +
                                                      " is above " + std::to_string(kMaxLevels));
    }
    const uint32_t block = 1u << (header.levels + 1);
    if (header.width % block != 0 || header.height % block != 0) {
        return hwlFailure(HwlStatus::InvalidFile,
                          "size " + std::to_string(header.width) + "x" +
                              std::to_string(header.height) + " is not a multiple of " +
                              std::to_string(block) + " as " + std::to_string(header.levels) +
                              " levels need");
    }
    const uint64_t pixels = uint64_t(header.width) * header.height;
    for (int p = 0; p < planes; ++p) {
        if (header.valueBits[p] > kMaxValueBits) {
            return hwlFailure(HwlStatus::InvalidFile,
                              "plane " + std::to_string(p) + " value width " +
                                  std::to_string(header.valueBits[p]) + " is above 8");
        }
        // Every symbol but a run's high part yields at least one coefficient,
        // so a stream that adds up never has more than 2 symbols or 1 value
        // per coefficient.
        if (header.symbolCount[p] > 2 * pixels || header.valueCount[p] > pixels) {
            return hwlFailure(HwlStatus::InvalidFile,
                              "plane " + std::to_string(p) +
                                  " stream counts exceed what the image size allows");
        }
    }
    return {};
}

} // namespace hwl
