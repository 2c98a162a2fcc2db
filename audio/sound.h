// The sound layer: streams a music file to the sound card, or to a silent
// output whose clock is the system's monotonic clock, and reports the play
// position and the spectrum of what is heard.
//
//   soundSetOutput(kSoundOutputDevice);      // or kSoundOutputNoSound
//   soundSetDriver(0);                       // the default device
//   if (!soundInit(44100, 16, 0)) ... soundGetError() ...
//   soundStreamSetBufferSize(800);
//   SoundStream* stream = soundStreamOpen("tune.ogg", kSoundLoopNormal, 0, 0);
//   int32_t channel = soundStreamPlay(kSoundFreeChannel, stream);
//   soundDspSetActive(soundGetSpectrumUnit(), true);
//   ... each frame: soundStreamGetTime(stream), soundGetSpectrum() ...
//   soundStreamClose(stream);
//   soundClose();
//
// Calls that fail return false, null, -1 or 0 and leave a code (the
// numbering of the music error table, see SoundErrorCode) for
// soundGetError(), and a line saying what was wrong for
// soundGetErrorDetail(). All calls come from one thread; decoding and
// output run on threads of the layer's own. Nothing here ends the process.
//
// Formats: whatever libsndfile reads (WAV, FLAC, Ogg Vorbis, Opus, MP3, ...)
// and the tracker modules libopenmpt plays (.mod, .xm, .s3m, .it, ...),
// mixed as stereo floats at the rate given to soundInit.
#pragma once

#include <cstdint>

// Output choices for soundSetOutput.
enum SoundOutput : int32_t {
    kSoundOutputNoSound = 0, // silent: nothing leaves the program, no device is touched
    kSoundOutputDevice = 1,  // the sound card, through SDL's audio output
};

// Error codes; their texts are the music module's (fmodErrorText).
enum SoundErrorCode : int32_t {
    kSoundOk = 0,
    kSoundErrorBusy = 1,          // a set-up call after soundInit
    kSoundErrorUninitialised = 2, // a stream call before soundInit
    kSoundErrorInit = 3,          // no usable output device
    kSoundErrorPlay = 5,          // the stream already plays
    kSoundErrorFileNotFound = 9,  // no file of that name
    kSoundErrorFileFormat = 10,   // no decoder reads the data
    kSoundErrorFileLoad = 11,     // the file exists but cannot be read
    kSoundErrorMemory = 12,       // a thread or buffer could not be made
    kSoundErrorInvalidParam = 14, // an argument out of range
    kSoundErrorChannelAlloc = 16, // every channel is busy
};

// Stream modes for soundStreamOpen. The sample-format flags describe raw
// sample data; every file this layer reads carries its own description, so
// they are accepted and change nothing. Other bits are refused.
inline constexpr uint32_t kSoundLoopOff = 0x1;    // play once (the default)
inline constexpr uint32_t kSoundLoopNormal = 0x2; // start again at the end, for ever
inline constexpr uint32_t kSound16Bits = 0x10;    // raw-data description only
inline constexpr uint32_t kSoundMono = 0x20;      // raw-data description only
inline constexpr uint32_t kSoundSigned = 0x100;   // raw-data description only
inline constexpr int32_t kSoundFreeChannel = -1;  // soundStreamPlay: any free channel
inline constexpr int kSoundSpectrumSize = 512;    // values soundGetSpectrum gives

struct SoundStream;  // an open stream: a decoder and its buffer
struct SoundDspUnit; // the spectrum analyser

// Before soundInit only; false (code 1) afterwards, code 14 for an unknown
// output. The choice stays for later soundInit calls.
bool soundSetOutput(int32_t output);

// 0 is the system's default device, n > 0 the n-th device SDL lists.
// Before soundInit only; an index with no device fails in soundInit.
bool soundSetDriver(int32_t driver);

// Starts the output: `mixRate` frames a second (8000 to 192000), up to
// `maxChannels` streams at once (1 to 64), `flags` 0. With the device
// output, no device that opens is code 3.
bool soundInit(int32_t mixRate, int32_t maxChannels, uint32_t flags);

// Why the last call that can fail failed (kSoundOk when it succeeded), and
// a line naming what was wrong, for a log.
int32_t soundGetError();
const char* soundGetErrorDetail();

// Milliseconds of decoded sound kept ahead of the output for streams opened
// from now on (50 to 10000; 800 unless set).
bool soundStreamSetBufferSize(int32_t milliseconds);

// Opens `name` for streaming and fills its buffer; it plays on
// soundStreamPlay. `offset` is the byte at which the audio file starts
// inside the named file and `length` its size in bytes (0: to the end of
// the file), so music can sit inside a larger data file; 0, 0 is the plain
// case. Null on failure: code 9 (no such file), 11 (cannot read it), 10 (no
// decoder reads it), 14 (a bad mode, offset or length), 2 (no soundInit).
SoundStream* soundStreamOpen(const char* name, uint32_t mode, int32_t offset, int32_t length);

// Starts the stream from its beginning on `channel` (0 to maxChannels - 1,
// replacing what plays there) or on any free one (kSoundFreeChannel).
// Returns the channel, or -1: code 16 (none free), 5 (it already plays),
// 14, 2.
int32_t soundStreamPlay(int32_t channel, SoundStream* stream);

// The stream's length in milliseconds (one pass, without looping).
int32_t soundStreamGetLengthMs(SoundStream* stream);

// The spectrum analyser and its switch (off until switched on; the switch
// needs no soundInit and survives soundClose).
SoundDspUnit* soundGetSpectrumUnit();
bool soundDspSetActive(SoundDspUnit* unit, bool active);

// Milliseconds of the stream heard so far: 0 until it plays, then never
// going backwards, in step with the output. Looping streams count on
// across their restarts; a stream played once stops at its length.
int32_t soundStreamGetTime(SoundStream* stream);
double soundStreamGetTimePrecise(SoundStream* stream); // the same, unrounded

// 512 magnitudes of the sound heard now (a 1024-point transform of the
// mixed output folded to mono, Hann window; a full-scale sine gives about
// 1.0 in its bin), bin k at k * mixRate / 1024 Hz. All zero while the
// analyser is off or nothing plays. Valid until the next call of the layer.
const float* soundGetSpectrum();

// Pauses (true) or resumes (false) a stream that has been played. While
// paused nothing of it is heard and its time stands still; resuming plays on
// from that very millisecond. False (code 14) for null or a stream never played.
bool soundStreamSetPaused(SoundStream* stream, bool paused);

// Moves a stream that has been played to `ms` of play time: decoding starts
// again there (for a looping stream at ms modulo its length), the time reads
// `ms` at once and runs on from there as the new sound is heard (what the
// output already holds of the old place is heard out first, one block of
// the silent output or the device's latency); a paused stream stays paused.
// Returns within a few ms: it decodes only the first blocks itself. False
// (code 14) for null, a negative time or a stream never played.
bool soundStreamSetTime(SoundStream* stream, int32_t ms);

// Stops and releases the stream. False (code 14) for null.
bool soundStreamClose(SoundStream* stream);

// Closes every stream and the output; soundInit may follow again.
void soundClose();

// --- For tests, measurements and messages ---

// The output in use: "silent", or SDL's driver name ("alsa", "dummy", ...);
// "" before soundInit.
const char* soundOutputName();

// True when this run names an audio driver (SDL_AUDIODRIVER): a device
// that then cannot be opened is an error rather than a reason to fall back
// to silence.
bool soundDeviceRequested();

// Frames the output has mixed since soundInit.
int64_t soundOutputFramesMixed();

// SDL's "dummy" and "disk" drivers pace themselves with rounded sleeps and
// nobody hears them, so streams on them run on the monotonic clock like the
// silent output. Forcing makes them follow the device as a sound card's
// streams do (takes effect at the next soundStreamPlay).
void soundForceDeviceClock(bool force);
