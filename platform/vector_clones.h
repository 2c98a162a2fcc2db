// Marks a hot loop to be compiled twice, for AVX2 and for any x86-64, the
// copy chosen once by the processor at load time. That choice needs the
// loader's indirect functions (ELF); elsewhere (Windows) the one default
// copy is built. Both give the same bytes: a vector lane does the scalar
// operation, and nothing is reordered.
#pragma once

#if defined(__ELF__) && defined(__x86_64__)
#define VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VECTOR_CLONES
#endif
