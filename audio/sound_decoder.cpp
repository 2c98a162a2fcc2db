#include "audio/sound_decoder.h"

#include <SDL.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <sndfile.h>
#include <system_error>
#include <vector>

#include "audio/sound.h"
#include "platform/open_file.h"

#ifdef INDAHOUSE_NO_OPENMPT
#include "audio/module_absent.h"
#else
#include <libopenmpt/libopenmpt.h>
constexpr const char* kNotPlayable = ": neither sampled sound nor a module";
#endif

namespace {

constexpr size_t kChunkFrames = 4096; // source frames read at a time
constexpr int kMaxFileChannels = 256; // beyond this the file is not music
constexpr int kMaxFileRate = 1000000;
constexpr int kStereo = 2;
constexpr int kMsPerSecond = 1000;
// Formats that cannot tell their length report a huge frame count.
constexpr sf_count_t kUnknownFrames = INT64_MAX / kMsPerSecond;
constexpr int32_t kModuleLoopForever = -1;
constexpr int32_t kModulePlayOnce = 0;
// Vorbis and MP3 decode wrongly for a moment after sf_seek: seeks start this
// many frames early and read forward. (libsndfile 1.2.0 still lands Vorbis a
// little beyond targets inside the file's last Ogg page, by that page's
// end-trim: a few ms, at most a Vorbis block.)
constexpr sf_count_t kSeekPreroll = 2048;
constexpr double kModuleBackSeconds = 0.05; // about half a row at common tempos

// The stretch of a file that holds the audio; the decoders see only it.
struct FileRegion {
    std::FILE* file = nullptr;
    int64_t begin = 0;    // offset of the audio in the file
    int64_t size = 0;     // bytes of audio
    int64_t pos = 0;      // read position within the region
    int64_t filePos = -1; // where the FILE stands, to skip needless seeks
};

size_t readRegion(FileRegion& region, void* into, int64_t bytes) {
    const int64_t wanted = std::clamp<int64_t>(bytes, 0, region.size - region.pos);
    if (wanted == 0) return 0;
    const int64_t at = region.begin + region.pos;
    if (region.filePos != at && fseeko(region.file, at, SEEK_SET) != 0) return 0;
    const size_t got = std::fread(into, 1, size_t(wanted), region.file);
    region.pos += int64_t(got);
    region.filePos = at + int64_t(got);
    return got;
}

// C-style whence; false (and no move) for a position outside the region.
bool seekRegion(FileRegion& region, int64_t offset, int whence) {
    const int64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? region.pos : region.size;
    const int64_t target = from + offset;
    if (target < 0 || target > region.size) return false;
    region.pos = target;
    return true;
}

sf_count_t sfLength(void* user) {
    return static_cast<FileRegion*>(user)->size;
}
sf_count_t sfSeek(sf_count_t offset, int whence, void* user) {
    FileRegion& region = *static_cast<FileRegion*>(user);
    return seekRegion(region, offset, whence) ? region.pos : -1;
}
sf_count_t sfRead(void* into, sf_count_t bytes, void* user) {
    return sf_count_t(readRegion(*static_cast<FileRegion*>(user), into, bytes));
}
sf_count_t sfWrite(const void*, sf_count_t, void*) {
    return 0; // read only
}
sf_count_t sfTell(void* user) {
    return static_cast<FileRegion*>(user)->pos;
}
SF_VIRTUAL_IO kRegionIo = {sfLength, sfSeek, sfRead, sfWrite, sfTell};

size_t mptRead(void* user, void* into, size_t bytes) {
    return readRegion(*static_cast<FileRegion*>(user), into, int64_t(bytes));
}
int mptSeek(void* user, int64_t offset, int whence) {
    const int cWhence = whence == OPENMPT_STREAM_SEEK_SET   ? SEEK_SET
                        : whence == OPENMPT_STREAM_SEEK_CUR ? SEEK_CUR
                                                            : SEEK_END;
    return seekRegion(*static_cast<FileRegion*>(user), offset, cWhence) ? 0 : -1;
}
int64_t mptTell(void* user) {
    return static_cast<FileRegion*>(user)->pos;
}

} // namespace

struct SoundDecoder {
    FileRegion region;
    bool loop = false;
    bool ended = false; // sent beyond the end of a single pass
    int32_t outputRate = 0;
    int64_t lengthMs = 0;
    double moduleSeconds = 0; // a module's exact length

    openmpt_module* module = nullptr; // a tracker module, or
    SNDFILE* sampled = nullptr;       // sampled sound
    SF_INFO info{};
    std::vector<float> raw;               // one chunk as the file has it, all channels
    std::vector<float> source;            // stereo frames at the file's rate; a module's scratch
    SDL_AudioStream* resampler = nullptr; // when that rate is not the output's
    bool flushed = false;                 // the resampler has had the last frames
    size_t resampleChunk = kChunkFrames;  // source frames given to it at a time
};

void SoundDecoderDeleter::operator()(SoundDecoder* decoder) const {
    if (decoder->module) openmpt_module_destroy(decoder->module);
    if (decoder->sampled) sf_close(decoder->sampled);
    if (decoder->resampler) SDL_FreeAudioStream(decoder->resampler);
    if (decoder->region.file) std::fclose(decoder->region.file);
    delete decoder;
}

namespace {

bool openSampled(SoundDecoder& decoder) {
    decoder.region.pos = 0;
    decoder.info = SF_INFO{};
    decoder.sampled = sf_open_virtual(&kRegionIo, SFM_READ, &decoder.info, &decoder.region);
    return decoder.sampled != nullptr;
}

bool openModule(SoundDecoder& decoder) {
    decoder.region.pos = 0;
    const openmpt_stream_callbacks callbacks = {mptRead, mptSeek, mptTell};
    decoder.module =
        openmpt_module_create2(callbacks, &decoder.region, openmpt_log_func_silent, nullptr,
                               openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr);
    return decoder.module != nullptr;
}

// Starting a looped file again by opening it anew is exact for every format
// (seeking back is not sample-exact for some compressed ones).
bool restartSampled(SoundDecoder& decoder) {
    if (decoder.sampled) sf_close(decoder.sampled);
    decoder.sampled = nullptr;
    const SF_INFO before = decoder.info;
    if (!openSampled(decoder)) return false;
    if (decoder.info.channels != before.channels || decoder.info.samplerate != before.samplerate) {
        sf_close(decoder.sampled); // the file changed under us
        decoder.sampled = nullptr;
        return false;
    }
    return true;
}

// Up to `frames` stereo frames at the file's rate.
size_t readSource(SoundDecoder& decoder, float* stereo, size_t frames) {
    const int channels = decoder.info.channels;
    size_t done = 0;
    bool justRestarted = false; // an empty file must not loop for ever
    while (done < frames && decoder.sampled) {
        const size_t wanted = std::min(frames - done, kChunkFrames);
        const sf_count_t got = sf_readf_float(decoder.sampled, decoder.raw.data(), wanted);
        if (got <= 0) {
            if (!decoder.loop || justRestarted) break;
            if (!restartSampled(decoder)) break;
            justRestarted = true;
            continue;
        }
        justRestarted = false;
        // Mono goes to both sides; beyond two channels the first two are the
        // front pair in every common layout.
        const int right = channels > 1 ? 1 : 0;
        float* out = stereo + done * kStereo;
        for (sf_count_t f = 0; f < got; ++f) {
            out[f * kStereo] = decoder.raw[f * channels];
            out[f * kStereo + 1] = decoder.raw[f * channels + right];
        }
        done += size_t(got);
    }
    return done;
}

// Through SDL's resampler (band-limited, unlike straight interpolation);
// at the end of a decoder played once, its tail is flushed out.
size_t resample(SoundDecoder& decoder, float* stereo, size_t frames) {
    constexpr int kFrameBytes = kStereo * sizeof(float);
    size_t produced = 0;
    while (produced < frames) {
        const int got = SDL_AudioStreamGet(decoder.resampler, stereo + produced * kStereo,
                                           int((frames - produced) * kFrameBytes));
        if (got < 0) break;
        produced += size_t(got / kFrameBytes);
        if (produced == frames) break;
        if (decoder.flushed) {
            if (got == 0) break;
            continue;
        }
        const size_t read = readSource(decoder, decoder.source.data(), decoder.resampleChunk);
        if (read == 0) {
            SDL_AudioStreamFlush(decoder.resampler);
            decoder.flushed = true;
        } else if (SDL_AudioStreamPut(decoder.resampler, decoder.source.data(),
                                      int(read * kFrameBytes)) != 0) {
            break;
        }
    }
    return produced;
}

bool lengthKnown(const SF_INFO& info) {
    return info.frames > 0 && info.frames < kUnknownFrames;
}

// Reads and drops `frames` frames at the file's rate; false if it ends first.
bool skipSource(SoundDecoder& decoder, sf_count_t frames) {
    while (frames > 0) {
        const sf_count_t got = sf_readf_float(decoder.sampled, decoder.raw.data(),
                                              std::min<sf_count_t>(frames, kChunkFrames));
        if (got <= 0) return false;
        frames -= got;
    }
    return true;
}

bool seekSampled(SoundDecoder& decoder, double ms) {
    const SF_INFO& info = decoder.info;
    sf_count_t target = std::llround(ms * info.samplerate / kMsPerSecond);
    if (lengthKnown(info)) {
        if (decoder.loop) {
            target %= info.frames;
        } else if (target >= info.frames) {
            decoder.ended = true;
            return true;
        }
    }
    // The resampler starts afresh: what it holds belongs to the old place.
    if (decoder.resampler) SDL_AudioStreamClear(decoder.resampler);
    decoder.flushed = false;
    const int container = info.format & SF_FORMAT_TYPEMASK;
    const bool exact = container != SF_FORMAT_OGG && container != SF_FORMAT_MPEG;
    const sf_count_t early = exact ? 0 : std::min(target, kSeekPreroll);
    if (decoder.sampled && sf_seek(decoder.sampled, target - early, SEEK_SET) >= 0) {
        return skipSource(decoder, early);
    }
    // A file that cannot seek is read from its start.
    return restartSampled(decoder) && skipSource(decoder, target);
}

bool seekModule(SoundDecoder& decoder, double ms) {
    double seconds = ms / kMsPerSecond;
    const double length = decoder.moduleSeconds;
    if (length > 0 && std::isfinite(length)) {
        if (decoder.loop) {
            seconds = std::fmod(seconds, length);
        } else if (seconds >= length) {
            decoder.ended = true;
            return true;
        }
    }
    // A module lands on the start of a row, the next one rather than the one
    // playing at `seconds`: step back until it lands at or before, then
    // render the rest of the way and drop it.
    double at = 0;
    for (double back = 0;; back = 2 * back + kModuleBackSeconds) {
        at = openmpt_module_set_position_seconds(decoder.module, std::max(0.0, seconds - back));
        if (at <= seconds || back >= seconds) break;
    }
    auto skip = size_t(std::llround(std::max(0.0, seconds - at) * decoder.outputRate));
    while (skip > 0) {
        const size_t got = openmpt_module_read_interleaved_float_stereo(
            decoder.module, decoder.outputRate, std::min(skip, kChunkFrames),
            decoder.source.data());
        if (got == 0) break;
        skip -= got;
    }
    return true;
}

DecoderOpening failure(int32_t error, std::string detail) {
    return DecoderOpening{nullptr, error, std::move(detail)};
}

} // namespace

DecoderOpening openSoundDecoder(const char* name, int64_t offset, int64_t length,
                                int32_t outputRate, bool loop) {
    if (name == nullptr) return failure(kSoundErrorInvalidParam, "no file name");
    const std::string file = name;
    if (offset < 0 || length < 0) {
        return failure(kSoundErrorInvalidParam, file + ": negative offset or length");
    }
    std::error_code why;
    const std::filesystem::file_status status = std::filesystem::status(utf8Path(file), why);
    if (!std::filesystem::exists(status)) {
        return failure(kSoundErrorFileNotFound, file + ": no such file");
    }
    if (std::filesystem::is_directory(status)) {
        return failure(kSoundErrorFileLoad, file + ": is a folder");
    }

    SoundDecoderPtr decoder(new SoundDecoder);
    decoder->loop = loop;
    decoder->outputRate = outputRate;
    FileRegion& region = decoder->region;
    region.file = openFile(file, "rb");
    if (!region.file) {
        return failure(kSoundErrorFileLoad, file + ": " + std::strerror(errno));
    }
    if (fseeko(region.file, 0, SEEK_END) != 0) {
        return failure(kSoundErrorFileLoad, file + ": cannot find its size");
    }
    const int64_t fileSize = ftello(region.file);
    if (offset > fileSize || length > fileSize - offset) {
        return failure(kSoundErrorInvalidParam, file + ": offset " + std::to_string(offset) +
                                                    " and length " + std::to_string(length) +
                                                    " reach beyond its " +
                                                    std::to_string(fileSize) + " bytes");
    }
    region.begin = offset;
    region.size = length > 0 ? length : fileSize - offset;

    if (openSampled(*decoder)) {
        const SF_INFO& info = decoder->info;
        if (info.channels < 1 || info.channels > kMaxFileChannels || info.samplerate < 1 ||
            info.samplerate > kMaxFileRate) {
            return failure(kSoundErrorFileFormat, file + ": implausible channels or rate");
        }
        decoder->raw.resize(kChunkFrames * size_t(info.channels));
        decoder->source.resize(kChunkFrames * kStereo);
        if (info.samplerate != outputRate) {
            decoder->resampler = SDL_NewAudioStream(AUDIO_F32SYS, kStereo, info.samplerate,
                                                    AUDIO_F32SYS, kStereo, outputRate);
            if (!decoder->resampler) {
                return failure(kSoundErrorMemory, file + ": no resampler: " + SDL_GetError());
            }
            // The resampler drops the fraction of a frame that each piece it
            // is given would make, so the music would run ahead of its time
            // (and of a seek). Pieces of a whole number of rate periods make
            // whole numbers of frames.
            const size_t period = size_t(info.samplerate / std::gcd(info.samplerate, outputRate));
            if (period <= kChunkFrames) decoder->resampleChunk = kChunkFrames / period * period;
        }
        decoder->lengthMs = lengthKnown(info) ? info.frames * kMsPerSecond / info.samplerate : 0;
        return DecoderOpening{std::move(decoder), kSoundOk, ""};
    }
    if (openModule(*decoder)) {
        openmpt_module_set_repeat_count(decoder->module,
                                        loop ? kModuleLoopForever : kModulePlayOnce);
        // After a seek, notes struck earlier sound as they would there.
        openmpt_module_ctl_set_boolean(decoder->module, "seek.sync_samples", 1);
        decoder->source.resize(kChunkFrames * kStereo);
        decoder->moduleSeconds = openmpt_module_get_duration_seconds(decoder->module);
        decoder->lengthMs = int64_t(decoder->moduleSeconds * kMsPerSecond + 0.5);
        return DecoderOpening{std::move(decoder), kSoundOk, ""};
    }
    return failure(kSoundErrorFileFormat, file + kNotPlayable);
}

int64_t decoderLengthMs(const SoundDecoder& decoder) {
    return decoder.lengthMs;
}

size_t decodeFrames(SoundDecoder& decoder, float* stereo, size_t frames) {
    if (decoder.ended) return 0;
    if (decoder.module) {
        size_t done = 0;
        while (done < frames) {
            const size_t got = openmpt_module_read_interleaved_float_stereo(
                decoder.module, decoder.outputRate, frames - done, stereo + done * kStereo);
            if (got == 0) break;
            done += got;
        }
        return done;
    }
    if (decoder.resampler) return resample(decoder, stereo, frames);
    return readSource(decoder, stereo, frames);
}

bool decoderSeek(SoundDecoder& decoder, double ms) {
    decoder.ended = false;
    return decoder.module ? seekModule(decoder, std::max(0.0, ms))
                          : seekSampled(decoder, std::max(0.0, ms));
}
