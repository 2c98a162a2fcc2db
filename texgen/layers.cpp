#include "texgen/layers.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/open_file.h"
#include "texgen/interpreter.h"
#include "texgen/operator_table.h"
#include "texgen/validate.h"

namespace texgen {

uint8_t* layerData[kBufferCount] = {};
OperationList operationLists[kLayerCount] = {};
int32_t layerWidth = 0;
int32_t layerHeight = 0;
int32_t wrapMaskX = 0;
int32_t wrapMaskY = 0;

namespace {

constexpr int kOpcodesOffset = 4; // within a layer block, after the count
constexpr int kParamsOffset = kOpcodesOffset + kMaxOperations * 4;
constexpr int kParamRecordBytes = kParameterCount * 4;
constexpr int kOutputLayer = 4; // only layer 4 reaches the output

void put32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t get32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool layersAllocated() {
    return std::all_of(std::begin(layerData), std::end(layerData),
                       [](const uint8_t* data) { return data != nullptr; });
}

Status checkLayerIndex(int layer) {
    if (layer >= 0 && layer < kLayerCount) return {};
    return failure(ErrorKind::BadArgument,
                   "layer " + std::to_string(layer) + " is not a layer 0..4");
}

Status checkSlotIndex(int32_t index) {
    if (index >= 0 && index < kMaxOperations) return {};
    return failure(ErrorKind::BadArgument, "slot " + std::to_string(index) + " is outside 0..99");
}

Status checkSize(int32_t width, int32_t height) {
    if (isValidLayerSize(width) && isValidLayerSize(height)) return {};
    return failure(ErrorKind::BadSize, "size " + std::to_string(width) + "x" +
                                           std::to_string(height) +
                                           " refused: width and height must be powers of two, "
                                           "2..4096");
}

Status notInitialised() {
    return failure(ErrorKind::NotInitialised, "the layers are not initialised (initLayers)");
}

std::string fileError(const std::string& fileName, const std::string& cause) {
    return "description file \"" + fileName + "\": " + cause;
}

} // namespace

void copyLayer(int from, int to) {
    if (from == to) return;
    std::memcpy(layerData[to], layerData[from], static_cast<size_t>(layerByteCount()));
}

bool isValidLayerSize(int32_t size) {
    return size >= kMinLayerSize && size <= kMaxLayerSize && std::has_single_bit(uint32_t(size));
}

Status initLayers(int32_t width, int32_t height) {
    if (Status status = checkSize(width, height); !status.ok()) return status;
    freeLayers();
    const auto bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * kBytesPerPixel;
    for (uint8_t*& data : layerData) {
        // Zero-filled, the scratch buffer too, so no run ever sees stale bytes.
        data = new (std::nothrow) uint8_t[bytes]();
        if (!data) {
            freeLayers();
            return failure(ErrorKind::OutOfMemory, "cannot allocate the layers for " +
                                                       std::to_string(width) + "x" +
                                                       std::to_string(height));
        }
    }
    layerWidth = width;
    layerHeight = height;
    wrapMaskX = width - 1;
    wrapMaskY = height - 1;
    for (OperationList& list : operationLists) list.count = 0;
    return {};
}

void freeLayers() {
    for (uint8_t*& data : layerData) {
        delete[] data;
        data = nullptr;
    }
}

Status addOperation(int layer, bool runNow, int32_t opcode, const ParameterRecord& params,
                    int32_t index) {
    if (Status status = checkLayerIndex(layer); !status.ok()) return status;
    if (index >= 0) return setOperation(layer, index, opcode, params);
    if (Status status = validateOperation(opcode, params); !status.ok()) return status;
    if (runNow && !layersAllocated()) return notInitialised();
    OperationList& list = operationLists[layer];
    if (opcode < kFirstNonGenerator) list.count = 0; // a generator starts a fresh list
    if (list.count < 0 || list.count >= kMaxOperations) {
        return failure(ErrorKind::ListFull, "layer " + std::to_string(layer) + " already holds " +
                                                std::to_string(list.count) +
                                                " operations; appending refused");
    }
    list.opcode[list.count] = opcode;
    list.params[list.count] = params;
    ++list.count;
    if (runNow) return runOperation(opcode, params);
    return {};
}

Status undoOperation(int layer, bool rerun) {
    if (Status status = checkLayerIndex(layer); !status.ok()) return status;
    if (rerun && !layersAllocated()) return notInitialised();
    OperationList& list = operationLists[layer];
    if (list.count > 0) --list.count;
    if (!rerun) return {};
    if (list.count > 0) return runList(list);
    // An empty list leaves a black layer, as colorLayer with 0, 0, 0 would.
    std::memset(layerData[layer], 0, static_cast<size_t>(layerByteCount()));
    return {};
}

Status setOperation(int layer, int32_t index, int32_t opcode, const ParameterRecord& params) {
    if (Status status = checkLayerIndex(layer); !status.ok()) return status;
    if (Status status = checkSlotIndex(index); !status.ok()) return status;
    if (Status status = validateOperation(opcode, params); !status.ok()) return status;
    operationLists[layer].opcode[index] = opcode;
    operationLists[layer].params[index] = params;
    return {};
}

void encodeDescription(const TextureDescription& description, uint8_t* bytes) {
    for (int layer = 0; layer < kLayerCount; ++layer) {
        const OperationList& list = description.lists[layer];
        uint8_t* block = bytes + layer * kLayerBlockBytes;
        put32(block, static_cast<uint32_t>(list.count));
        for (int i = 0; i < kMaxOperations; ++i) {
            put32(block + kOpcodesOffset + 4 * i, static_cast<uint32_t>(list.opcode[i]));
            for (int k = 0; k < kParameterCount; ++k) {
                put32(block + kParamsOffset + kParamRecordBytes * i + 4 * k,
                      std::bit_cast<uint32_t>(list.params[i].value[k]));
            }
        }
    }
}

void decodeDescription(const uint8_t* bytes, TextureDescription& description) {
    for (int layer = 0; layer < kLayerCount; ++layer) {
        OperationList& list = description.lists[layer];
        const uint8_t* block = bytes + layer * kLayerBlockBytes;
        list.count = static_cast<int32_t>(get32(block));
        for (int i = 0; i < kMaxOperations; ++i) {
            list.opcode[i] = static_cast<int32_t>(get32(block + kOpcodesOffset + 4 * i));
            for (int k = 0; k < kParameterCount; ++k) {
                list.params[i].value[k] = std::bit_cast<float>(
                    get32(block + kParamsOffset + kParamRecordBytes * i + 4 * k));
            }
        }
    }
}

Status readDescription(const std::string& fileName, TextureDescription& description) {
    std::FILE* file = openFile(fileName, "rb");
    if (!file) {
        const int error = errno;
        if (error == ENOENT) {
            return failure(ErrorKind::FileNotFound, fileError(fileName, "not found"));
        }
        return failure(ErrorKind::FileUnreadable,
                       fileError(fileName, std::string("cannot open: ") + std::strerror(error)));
    }
    auto bytes = std::make_unique<uint8_t[]>(kDescriptionBytes);
    const size_t got = std::fread(bytes.get(), 1, kDescriptionBytes, file);
    const bool readError = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (readError) {
        return failure(ErrorKind::FileUnreadable,
                       fileError(fileName, std::string("read error: ") + std::strerror(error)));
    }
    if (got < static_cast<size_t>(kDescriptionBytes)) {
        return failure(ErrorKind::ShortRead,
                       fileError(fileName, "short read: " + std::to_string(got) + " of " +
                                               std::to_string(kDescriptionBytes) + " bytes"));
    }
    decodeDescription(bytes.get(), description);
    return {};
}

Status writeDescription(const std::string& fileName, const TextureDescription& description) {
    auto bytes = std::make_unique<uint8_t[]>(kDescriptionBytes);
    encodeDescription(description, bytes.get());
    std::FILE* file = openFile(fileName, "wb");
    if (!file) {
        return failure(ErrorKind::FileWrite,
                       fileError(fileName, std::string("cannot create: ") + std::strerror(errno)));
    }
    const size_t written = std::fwrite(bytes.get(), 1, kDescriptionBytes, file);
    const bool closed = std::fclose(file) == 0;
    if (written != static_cast<size_t>(kDescriptionBytes) || !closed) {
        std::remove(fileName.c_str());
        return failure(ErrorKind::FileWrite, fileError(fileName, "write failed"));
    }
    return {};
}

void layerToPixels(int layer, uint32_t* pixels) {
    const uint8_t* source = layerData[layer];
    const int64_t count = static_cast<int64_t>(layerWidth) * layerHeight;
    for (int64_t p = 0; p < count; ++p, source += kBytesPerPixel) {
        pixels[p] = static_cast<uint32_t>(source[0]) << 16 | static_cast<uint32_t>(source[1]) << 8 |
                    source[2];
    }
}

Status renderDescription(const TextureDescription& description, int32_t width, int32_t height,
                         uint32_t* pixels) {
    if (Status status = checkSize(width, height); !status.ok()) return status;
    if (!pixels) return failure(ErrorKind::BadArgument, "no output buffer");
    if (Status status = validateDescription(description); !status.ok()) return status;
    if (Status status = initLayers(width, height); !status.ok()) return status;
    std::copy(std::begin(description.lists), std::end(description.lists), operationLists);
    // Layers run strictly in order: a list may read the finished layers below it.
    for (int layer = 0; layer < kLayerCount; ++layer) {
        Status status = runList(operationLists[layer]);
        if (!status.ok()) {
            freeLayers();
            status.message = "layer " + std::to_string(layer) + ", " + status.message;
            return status;
        }
    }
    layerToPixels(kOutputLayer, pixels);
    freeLayers();
    return {};
}

Status loadTextureDescription(uint32_t*& pixels, const std::string& fileName, int32_t width,
                              int32_t height, bool allocate) {
    if (Status status = checkSize(width, height); !status.ok()) return status;
    if (!allocate && !pixels) return failure(ErrorKind::BadArgument, "no output buffer");
    // The lists are large (22 KB); keep them off the stack.
    auto description = std::make_unique<TextureDescription>();
    if (Status status = readDescription(fileName, *description); !status.ok()) return status;
    std::unique_ptr<uint32_t[]> owned;
    uint32_t* target = pixels;
    if (allocate) {
        owned.reset(new (std::nothrow) uint32_t[static_cast<size_t>(width) * height]);
        if (!owned) return failure(ErrorKind::OutOfMemory, "cannot allocate the output pixels");
        target = owned.get();
    }
    if (Status status = renderDescription(*description, width, height, target); !status.ok()) {
        return status;
    }
    if (allocate) pixels = owned.release();
    return {};
}

} // namespace texgen
