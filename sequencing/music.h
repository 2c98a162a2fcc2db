// The show's music: the stream that gives the show its clock and the
// spectrum copied out every frame. The main program calls, in this order:
//
//   if (music.musicFile) {                        // the script named one
//       MusicError error = startMusic(settings.music, music);
//       if (error) fatalError(error.module, error.message);
//   }
//   enableSpectrum();
//   each frame: playTime = musicTime(); readSpectrum(frameSpectrum);
//   if (music.musicFile) stopMusic();             // teardown
//
// Music on plays on the sound card; music off plays the same stream on the
// silent output, which needs no audio device at all, so the clock and the
// end of the show are the same either way. Music on where the machine has
// no usable device also plays silently (with a note in `detail`), unless
// this run names an audio driver (SDL_AUDIODRIVER): then that device was
// asked for and its failure is the error "Error initializing output device".
//
// Without a music file the clock runs on the monotonic clock from the first
// musicTime call (the first frame) and the spectrum stays zero.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sequencing/script.h"

// Every error of the music is reported under this module name.
inline constexpr const char* kMusicModule = "FMOD";
inline constexpr int kMusicSpectrumSize = 512;

struct MusicError {
    std::string module;  // kMusicModule on failure, empty when all went well
    std::string message; // fmodErrorText of the sound layer's code
    std::string detail;  // the file and cause; on success, a note (or empty)

    bool ok() const { return module.empty(); }
    explicit operator bool() const { return !ok(); } // true when there is an error
};

// Starts the output (sound card when `enabled`, silent otherwise), opens
// `music.musicFile` at byte offset `music.musicStart` for looping playback
// and plays it; a `music.musicEnd` of 0 becomes the stream's length.
MusicError startMusic(bool enabled, MusicSettings& music);

// Switches the spectrum analysis on; also without startMusic.
void enableSpectrum();

// The play time in milliseconds: what has been heard of the music, never
// going backwards.
int32_t musicTime();

// Copies the 512 spectrum values into `buffer`.
void readSpectrum(float* buffer);

// The live mode's controls. Pausing stops the sound and the clock together
// (also the clock of a show without music); resuming continues from the same
// millisecond. A seek makes the play time `ms` (below 0: 0) and keeps the
// pause as it was; the music is heard from there within the output's latency.
void pauseMusic(bool paused);
bool musicPaused();
void seekMusic(int32_t ms);

// One pass of the playing music in ms; 0 without music.
int32_t musicLength();

// The live mode's reload: opens `music` afresh and plays it in place of the
// old stream from the same millisecond, paused if the music was (starting
// the output if no music played yet). On failure the old stream plays on.
MusicError reopenMusic(MusicSettings& music);

// Closes the stream and the output.
void stopMusic();

// The text for an error code of the sound layer; "Unknown error" for codes
// outside the table.
const char* fmodErrorText(int32_t code);
