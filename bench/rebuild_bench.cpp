// A saved source's way to the screen in the live mode, piece by piece:
// makeshow rebuilding one picture (--only SOURCE) as a draft and with the
// full search, for a texture program and an SVG drawing, alone and while
// another makeshow renders the score; then the show decoding the file each
// one writes. The goal for save to screen is 0.5 s on this 2-core machine:
// the draft's rebuild plus its decode, plus the 0.2 s the live mode lets a
// save settle only when the editor writes in place.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "images/hwl_decoder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = "textures/floor.txt";    // 256 x 256, opaque
constexpr const char* kDrawing = "pictures/quopple1.svg"; // 256 x 256, cut-out

std::string scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("rebuild_bench_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

pid_t spawn(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, words[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

bool finished(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// makeshow SHOW --assets ASSETS --force [ARGUMENTS]: --force, so each run
// renders and encodes again though its source is unchanged.
bool makeshow(const std::string& show, std::vector<std::string> arguments) {
    std::vector<std::string> words = {REBUILD_BENCH_MAKESHOW, show, "--assets",
                                      REBUILD_BENCH_ASSETS, "--force"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const pid_t pid = spawn(words);
    return pid > 0 && finished(pid);
}

// Another makeshow rendering the score over and over, while it lives.
struct ScoreRender {
    std::string show = scratch("score");
    pid_t pid = -1;
    void keepGoing() {
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, WNOHANG) == 0) return;
        pid = spawn({REBUILD_BENCH_MAKESHOW, show, "--assets", REBUILD_BENCH_ASSETS, "--force",
                     "--only", "music/score.txt"});
    }
    ~ScoreRender() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

// Args: source (0 program, 1 drawing), draft (0 or 1), the score rendering beside (0 or 1).
void rebuildOneSource(benchmark::State& state) {
    const std::string source = state.range(0) == 0 ? kProgram : kDrawing;
    const bool draft = state.range(1) != 0;
    const std::string show = scratch("show");
    std::vector<std::string> arguments = {"--only", source};
    if (draft) arguments.push_back("--draft");
    ScoreRender score;
    for (auto _ : state) {
        if (state.range(2) != 0) score.keepGoing();
        if (!makeshow(show, arguments)) state.SkipWithError("makeshow failed");
    }
    state.SetLabel(source + (draft ? " draft" : " full") +
                   (state.range(2) != 0 ? ", the score rendering beside" : ""));
}
BENCHMARK(rebuildOneSource)
    ->ArgsProduct({{0, 1}, {1, 0}, {0}})
    ->Args({0, 1, 1})
    ->Args({1, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// The show's side of the swap: decoding the file the draft or the full
// search wrote (Args: source, draft, as above).
void decodeRebuiltPicture(benchmark::State& state) {
    const std::string source = state.range(0) == 0 ? kProgram : kDrawing;
    const bool draft = state.range(1) != 0;
    const std::string show = scratch("decode");
    std::vector<std::string> arguments = {"--only", source};
    if (draft) arguments.push_back("--draft");
    if (!makeshow(show, arguments)) return state.SkipWithError("makeshow failed");
    const std::string name = fs::path(source).stem().string();
    std::ifstream file(show + "/data/" + name + ".hwl", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    for (auto _ : state) {
        std::vector<uint8_t> pixels;
        hwl::HwlHeader header{};
        if (hwl::decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), true))
            return state.SkipWithError("the file does not decode");
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetLabel(source + (draft ? " draft, " : " full, ") + std::to_string(bytes.size()) +
                   " bytes");
}
BENCHMARK(decodeRebuiltPicture)->ArgsProduct({{0, 1}, {1, 0}})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
