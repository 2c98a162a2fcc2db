// How loud a music file is along its length, for drawing it: decoded on the
// calling thread with the layer's own decoder, without the output or any
// state of the layer, so it may run beside a playing show.
//
//   std::vector<float> values;
//   std::string detail;
//   int32_t code = soundFileLoudness("tune.ogg", 0, 44100, 100, 600000, values, detail);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One value per `stepMs` of one pass of the file (the audio starting at byte
// `offset`, decoded at `rate` frames a second), at most `maxMs` of it: the
// RMS of that step of the mono mix over the largest step's RMS, so 0 to 1
// (all 0 for silence; the last step may be shorter). Returns kSoundOk, or a
// SoundErrorCode with `detail` naming the file and its trouble; `values` is
// empty then.
int32_t soundFileLoudness(const char* name, int64_t offset, int32_t rate, int32_t stepMs,
                          int32_t maxMs, std::vector<float>& values, std::string& detail);
