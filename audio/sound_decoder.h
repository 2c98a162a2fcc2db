// Decoding one music file, or a stretch of bytes inside one, into stereo
// float frames at the mixing rate: libsndfile for sampled sound (through
// SDL's resampler when its rate differs), libopenmpt for tracker modules.
//
//   DecoderOpening opening = openSoundDecoder("tune.ogg", 0, 0, 44100, true);
//   if (!opening.decoder) ... opening.error, opening.detail ...
//   size_t got = decodeFrames(*opening.decoder, stereo, 1024);
//   decoderSeek(*opening.decoder, 12500.0); // on from 12.5 s
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct SoundDecoder;
struct SoundDecoderDeleter {
    void operator()(SoundDecoder* decoder) const;
};
using SoundDecoderPtr = std::unique_ptr<SoundDecoder, SoundDecoderDeleter>;

struct DecoderOpening {
    SoundDecoderPtr decoder; // null on failure
    int32_t error = 0;       // a SoundErrorCode on failure
    std::string detail;      // what was wrong, naming the file
};

// The audio file is the `length` bytes at `offset` in `name` (length 0: up
// to the end of the file). Sampled formats are tried first, then modules.
// Looping decoders start again at the end for ever.
DecoderOpening openSoundDecoder(const char* name, int64_t offset, int64_t length,
                                int32_t outputRate, bool loop);

// One pass of the music in milliseconds (0 when the format does not say).
int64_t decoderLengthMs(const SoundDecoder& decoder);

// Fills `stereo` with up to `frames` interleaved frames; fewer only at the
// end of a decoder that does not loop, or when the file cannot be read on.
size_t decodeFrames(SoundDecoder& decoder, float* stereo, size_t frames);

// Moves the decoder to `ms` of play: for a looping decoder ms modulo one
// pass; one that plays once, sent beyond its end, has ended. Sampled sound
// lands on the frame nearest to `ms` (compressed formats are decoded
// forward from a little before it, so the first frames are right too),
// modules on their renderer's position. False when the file cannot be read
// there: the decoder then gives nothing more.
bool decoderSeek(SoundDecoder& decoder, double ms);
