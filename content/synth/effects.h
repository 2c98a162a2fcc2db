// The two shared effects. Each reads a mono send and adds its stereo return
// to the interleaved master.
#pragma once

#include <vector>

namespace synth {

// Echoes that bounce between left and right, each darker than the last.
void addPingPongDelay(const std::vector<float>& send, double delayFrames, double feedback,
                      double rate, std::vector<float>& master);

// A room: eight feedback delay lines mixed by a Householder matrix, their
// lengths and decay time growing with size, their highs damped.
void addReverb(const std::vector<float>& send, double size, double damping, double rate,
               std::vector<float>& master);

} // namespace synth
