// Layer store of the texture generator.
//
// Five RGB layers of one common size W x H (both powers of two) plus a sixth
// buffer, the scratch buffer, which operators use as a temporary copy when
// they cannot work in place. A layer is W*H*3 bytes, row y at byte y*W*3,
// pixel x at +x*3, bytes red, green, blue.
//
// All state is global to the library: one texture is in progress at a time,
// single-threaded. Operators never allocate; they address the buffers below.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace texgen {

constexpr int kLayerCount = 5;      // layers 0..4
constexpr int kScratchLayer = 5;    // index of the scratch buffer
constexpr int kBufferCount = 6;     // the five layers and the scratch buffer
constexpr int kMaxOperations = 100; // slots per operation list
constexpr int kParameterCount = 10; // floats per parameter record
constexpr int kBytesPerPixel = 3;   // red, green, blue
constexpr int kMinLayerSize = 2;    // smallest accepted width or height
constexpr int kMaxLayerSize = 4096; // largest accepted width or height

// Every parameter is stored as a float, whatever the operator takes.
struct ParameterRecord {
    float value[kParameterCount];
};

struct OperationList {
    int32_t count; // valid operations, 0..100
    int32_t opcode[kMaxOperations];
    ParameterRecord params[kMaxOperations];
};

// The library state. Size and masks are set by initLayers.
extern uint8_t* layerData[kBufferCount]; // layers 0..4, then the scratch buffer
extern OperationList operationLists[kLayerCount];
extern int32_t layerWidth;
extern int32_t layerHeight;
extern int32_t wrapMaskX; // layerWidth - 1
extern int32_t wrapMaskY; // layerHeight - 1

// Address of pixel (x, y) of buffer `layer` (0..5). Coordinates must already
// be inside the layer (wrapped by the caller).
inline uint8_t* pixelAt(int layer, int32_t x, int32_t y) {
    return layerData[layer] + (static_cast<int64_t>(y) * layerWidth + x) * kBytesPerPixel;
}

inline int64_t layerByteCount() {
    return static_cast<int64_t>(layerWidth) * layerHeight * kBytesPerPixel;
}

// Copies buffer `from` into buffer `to` (either may be the scratch buffer).
void copyLayer(int from, int to);

// A texture description: the five operation lists, as stored in a file.
struct TextureDescription {
    OperationList lists[kLayerCount];
};

// Size of a description file: five blocks of count, 100 opcodes and 100
// parameter records, all little-endian.
constexpr int kLayerBlockBytes = 4 + kMaxOperations * 4 + kMaxOperations * kParameterCount * 4;
constexpr int kDescriptionBytes = kLayerCount * kLayerBlockBytes; // 22020

// Why a library call failed. The library never exits or throws; every call
// that can fail returns a Status.
enum class ErrorKind {
    None,
    FileNotFound,   // the description file does not exist
    FileUnreadable, // it exists but cannot be opened or read
    ShortRead,      // fewer than 22020 bytes
    FileWrite,      // a description file cannot be written
    BadSize,        // width or height not a power of two in 2..4096
    OutOfMemory,
    NotInitialised, // an entry point needs initLayers first
    BadArgument,    // a layer or slot index outside its range
    ListFull,       // appending to a list of 100 operations
    Invalid,        // an operation or description that must not run
};

struct Status {
    ErrorKind kind = ErrorKind::None;
    std::string message; // one line, empty on success

    bool ok() const { return kind == ErrorKind::None; }
};

inline Status failure(ErrorKind kind, std::string message) {
    return {kind, std::move(message)};
}

// True for the sizes the generator accepts: powers of two, 2..4096.
bool isValidLayerSize(int32_t size);

// Allocates the six buffers (W*H*3 bytes each), clears layers 0..4 to black
// and their lists to empty. Refuses sizes that isValidLayerSize rejects.
// Layers already allocated are released first.
Status initLayers(int32_t width, int32_t height);

// Releases the buffers. Safe to call when nothing is allocated.
void freeLayers();

// Stores an operation. With index >= 0 it replaces slot `index` (0..99)
// without changing the count or running anything. With index < 0 it appends:
// an opcode below 10 (a generator) first empties the list; a full list is
// refused; with runNow the operation runs at once. Invalid operations are
// refused before anything is stored.
Status addOperation(int layer, bool runNow, int32_t opcode, const ParameterRecord& params,
                    int32_t index);

// Drops the last operation of the list (if any). With rerun the remaining
// list is replayed on top of the current layers, or the layer is made black
// when the list is now empty.
Status undoOperation(int layer, bool rerun);

// Replaces slot `index` (0..99); the count is unchanged and nothing runs.
Status setOperation(int layer, int32_t index, int32_t opcode, const ParameterRecord& params);

// Reads exactly 22020 bytes of `fileName` into `description`. Extra bytes are
// ignored. Missing, unreadable and short files give FileNotFound,
// FileUnreadable and ShortRead, with the file name and cause in the message.
Status readDescription(const std::string& fileName, TextureDescription& description);

// Writes the 22020-byte file.
Status writeDescription(const std::string& fileName, const TextureDescription& description);

// The file layout, byte for byte (little-endian on every host).
void encodeDescription(const TextureDescription& description, uint8_t* bytes);
void decodeDescription(const uint8_t* bytes, TextureDescription& description);

// Validates `description`, renders it at width x height through the global
// layers (left released afterwards) and stores layer 4 in `pixels` as
// W*H words 0x00RRGGBB. Nothing runs unless the whole description is valid.
Status renderDescription(const TextureDescription& description, int32_t width, int32_t height,
                         uint32_t* pixels);

// Reads, validates and renders a description file into W*H output words.
// With allocate the buffer is created here (new[]; the caller delete[]s it)
// and stored in `pixels` only on success; otherwise `pixels` must already
// point at W*H words. On failure nothing is converted and the layers are
// released.
Status loadTextureDescription(uint32_t*& pixels, const std::string& fileName, int32_t width,
                              int32_t height, bool allocate);

// Layer `layer` as output words: red << 16 | green << 8 | blue, bits 24..31 zero.
void layerToPixels(int layer, uint32_t* pixels);

} // namespace texgen
