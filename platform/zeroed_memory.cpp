#include "platform/zeroed_memory.h"

#include <cstdlib>
#include <new>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Buffers from this size on are mapped, in pages of this size.
constexpr size_t kLargePage = size_t(2) << 20;

ZeroedBuffer callocZeroed(size_t bytes) {
    ZeroedBuffer small(static_cast<uint8_t*>(std::calloc(bytes ? bytes : 1, 1)));
    if (!small) throw std::bad_alloc();
    return small;
}

} // namespace

#ifdef _WIN32

// Large pages on Windows need a privilege few accounts hold: calloc.
void ZeroedDeleter::operator()(uint8_t* p) const {
    std::free(p);
}

ZeroedBuffer allocateZeroed(size_t bytes) {
    return callocZeroed(bytes);
}

#else

void ZeroedDeleter::operator()(uint8_t* p) const {
    if (mappedBytes)
        munmap(p, mappedBytes);
    else
        std::free(p);
}

ZeroedBuffer allocateZeroed(size_t bytes) {
    if (bytes < kLargePage) return callocZeroed(bytes);
    // Room to start the buffer on a large page boundary.
    const size_t mapped = bytes + kLargePage;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    auto roundUp = [](uintptr_t at, uintptr_t step) { return (at + step - 1) & ~(step - 1); };
    const uintptr_t first = uintptr_t(base), last = first + mapped;
    const uintptr_t start = roundUp(first, kLargePage);
    const uintptr_t end = roundUp(start + bytes, uintptr_t(sysconf(_SC_PAGESIZE)));
    if (start > first) munmap(base, start - first);
    if (last > end) munmap(reinterpret_cast<void*>(end), last - end);
    madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE); // advice only
    return ZeroedBuffer(reinterpret_cast<uint8_t*>(start), ZeroedDeleter{bytes});
}

#endif
