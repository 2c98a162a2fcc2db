// The live mode's command line:
//
//   indahouse --live [--dir SHOWDIR] [--assets DIR] [--size WxH] [--at MS] [--paused] [--mute]
//
//   LiveOptions options;
//   if (int code = parseLiveOptions(argc, argv, options); code >= 0) return code;
//
// A valid --dir becomes the working directory, as the show reads everything
// relative to it (and writes its error report there).
#pragma once

#include <cstdint>
#include <string>

struct LiveOptions {
    std::string dir = ".";
    std::string assets; // absolute; empty: the sources are not watched
    int32_t width = 800;
    int32_t height = 600;
    int32_t at = 0;      // ms to start at
    bool paused = false; // start paused there
    bool mute = false;
};

// -1 to go on; otherwise the exit code (0 after --help, 1 after a mistake,
// which stderr names).
int parseLiveOptions(int argc, char** argv, LiveOptions& options);
