#include "content/capture/video_encoder.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kRgbChannels = 3;
constexpr const char* kPreferredCodec = "libx264";
constexpr const char* kFallbackCodec = "mpeg4";
// Visually lossless for both encoders; the show's flat colours compress well.
constexpr const char* kX264Quality = "18"; // constant rate factor
constexpr const char* kMpeg4Quality = "2"; // quantiser scale
constexpr const char* kAudioBitrate = "192k";

std::vector<std::string> ffmpegArguments(const VideoSettings& settings, const std::string& codec) {
    const std::string size = std::to_string(settings.width) + "x" + std::to_string(settings.height);
    const bool sound = !settings.soundTrack.empty();
    // Input 0: raw RGB frames from the pipe, top row first; input 1: the sound.
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y"};
    args.insert(args.end(), {"-f", "rawvideo", "-pixel_format", "rgb24", "-video_size", size});
    args.insert(args.end(), {"-framerate", std::to_string(settings.fps), "-i", "pipe:0"});
    if (sound) args.insert(args.end(), {"-i", settings.soundTrack});
    args.insert(args.end(), {"-map", "0:v:0"});
    if (sound) args.insert(args.end(), {"-map", "1:a:0", "-c:a", "aac", "-b:a", kAudioBitrate});
    if (settings.width % 2 != 0 || settings.height % 2 != 0) {
        args.insert(args.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2"});
    }
    args.insert(args.end(), {"-c:v", codec, "-pix_fmt", "yuv420p"});
    if (codec == kPreferredCodec) {
        args.insert(args.end(), {"-preset", "medium", "-crf", kX264Quality});
    } else {
        args.insert(args.end(), {"-q:v", kMpeg4Quality});
    }
    args.push_back(settings.file);
    return args;
}

// The first line ffmpeg wrote, for the one-line error: the cause; the lines
// after it tell what failed in consequence.
std::string firstLogLine(const std::string& log) {
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) return line;
    }
    return {};
}

void removeFiles(VideoEncoder& video) {
    std::error_code ignored;
    std::filesystem::remove(video.file, ignored);
    std::filesystem::remove(video.log, ignored);
}

// The process's exit code, -1 when it did not exit normally.
int waitForExit(pid_t process) {
    int status = 0;
    while (waitpid(process, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void closePipe(VideoEncoder& video) {
    if (video.pipe >= 0) close(video.pipe);
    video.pipe = -1;
}

} // namespace

std::string chooseVideoCodec() {
    std::FILE* list = popen("ffmpeg -hide_banner -encoders 2>/dev/null", "r");
    if (!list) return kFallbackCodec;
    const std::string wanted = std::string(" ") + kPreferredCodec + " ";
    char line[512];
    bool found = false;
    while (std::fgets(line, sizeof line, list)) {
        if (std::strstr(line, wanted.c_str())) found = true;
    }
    pclose(list);
    return found ? kPreferredCodec : kFallbackCodec;
}

std::string startVideo(VideoEncoder& video, const VideoSettings& settings) {
    video = VideoEncoder{};
    video.file = settings.file;
    video.codec = chooseVideoCodec();
    video.frameBytes = size_t(settings.width) * size_t(settings.height) * kRgbChannels;

    char logName[] = "/tmp/capture-ffmpeg-XXXXXX";
    const int logFd = mkstemp(logName);
    if (logFd < 0) return std::string("cannot create ffmpeg's log: ") + std::strerror(errno);
    close(logFd);
    video.log = logName;

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        removeFiles(video);
        return std::string("cannot make a pipe: ") + std::strerror(errno);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logName, O_WRONLY | O_TRUNC, 0);

    const std::vector<std::string> args = ffmpegArguments(settings, video.codec);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // A process group of its own: Ctrl+C at the terminal reaches only us,
    // and we close the video ourselves.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int spawned =
        posix_spawnp(&video.process, "ffmpeg", &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (spawned != 0) {
        close(fds[1]);
        video.process = -1;
        std::error_code ignored;
        std::filesystem::remove(video.log, ignored);
        return std::string("cannot run ffmpeg: ") + std::strerror(spawned);
    }
    video.pipe = fds[1];
    // A closed pipe is reported by write, not by a signal that ends the tool.
    std::signal(SIGPIPE, SIG_IGN);
    return {};
}

std::string writeVideoFrame(VideoEncoder& video, const uint8_t* rgb) {
    size_t written = 0;
    while (written < video.frameBytes) {
        const ssize_t n = write(video.pipe, rgb + written, video.frameBytes - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::string error = finishVideo(video);
            return error.empty() ? "ffmpeg stopped reading frames" : error;
        }
        written += size_t(n);
    }
    return {};
}

std::string finishVideo(VideoEncoder& video) {
    if (video.process < 0) return "ffmpeg is not running";
    closePipe(video);
    const int exitCode = waitForExit(video.process);
    video.process = -1;
    if (exitCode == 0) {
        std::error_code ignored;
        std::filesystem::remove(video.log, ignored);
        return {};
    }
    std::string line = firstLogLine(video.log);
    if (line.empty()) line = "exit code " + std::to_string(exitCode);
    removeFiles(video);
    return "ffmpeg: " + line;
}

void abandonVideo(VideoEncoder& video) {
    if (video.process < 0) return;
    closePipe(video);
    kill(video.process, SIGTERM);
    waitForExit(video.process);
    video.process = -1;
    removeFiles(video);
}
