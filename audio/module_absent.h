// A build without libopenmpt (the Windows build when its prefix has none):
// the few module calls the decoder makes, answering that no file is a
// module, so a tracker module is refused like any file the show cannot play.
#pragma once

#include <cstddef>
#include <cstdint>

struct openmpt_module;
struct openmpt_stream_callbacks {
    size_t (*read)(void*, void*, size_t);
    int (*seek)(void*, int64_t, int);
    int64_t (*tell)(void*);
};
inline constexpr int OPENMPT_STREAM_SEEK_SET = 0;
inline constexpr int OPENMPT_STREAM_SEEK_CUR = 1;
inline constexpr std::nullptr_t openmpt_log_func_silent = nullptr;
inline constexpr std::nullptr_t openmpt_error_func_ignore = nullptr;

inline openmpt_module* openmpt_module_create2(openmpt_stream_callbacks, void*, std::nullptr_t,
                                              void*, std::nullptr_t, void*, int*, const char**,
                                              const void*) {
    return nullptr;
}
inline void openmpt_module_destroy(openmpt_module*) {}
inline int openmpt_module_set_repeat_count(openmpt_module*, int32_t) {
    return 0;
}
inline int openmpt_module_ctl_set_boolean(openmpt_module*, const char*, int) {
    return 0;
}
inline double openmpt_module_get_duration_seconds(openmpt_module*) {
    return 0;
}
inline double openmpt_module_set_position_seconds(openmpt_module*, double) {
    return 0;
}
inline size_t openmpt_module_read_interleaved_float_stereo(openmpt_module*, int32_t, size_t,
                                                           float*) {
    return 0;
}

// What such a build says of a file it cannot play.
inline constexpr const char* kNotPlayable =
    ": not a sound this build plays (Ogg Vorbis, WAV or FLAC; it has no tracker modules)";
