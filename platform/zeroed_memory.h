// Large zero-filled buffers. Where the system allows, a buffer from a few
// megabytes on is mapped afresh on large pages: there, first touching a
// small page costs more than the work done in it (the image decoder's
// planes), and fresh pages come zeroed. Elsewhere it is plain calloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct ZeroedDeleter {
    size_t mappedBytes = 0; // 0: from calloc
    void operator()(uint8_t* p) const;
};
using ZeroedBuffer = std::unique_ptr<uint8_t, ZeroedDeleter>;

// Throws std::bad_alloc when there is no memory.
ZeroedBuffer allocateZeroed(size_t bytes);
