// Texture generator speed: every operator on 256x256 and 1024x1024 layers,
// in megapixels per second, and a whole description of twenty operations.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "texgen/interpreter.h"
#include "texgen/layers.h"
#include "texgen/operator_table.h"
#include "texgen/text_compile.h"

using namespace texgen;

namespace {

constexpr int kSmall = 256;
constexpr int kLarge = 1024;

// Typical parameters per opcode. Operators read layers 0 and 2 (filled with
// colour noise) and write layer 1, so every iteration sees the same input.
const std::map<int32_t, ParameterRecord>& typicalParameters() {
    static const std::map<int32_t, ParameterRecord> table = {
        {0, {{1, 16, 1234, 256, 1}}},
        {1, {{1, 0.05f, 0.07f, 256}}},
        {2, {{1, 64, 99, 256, 128, 6, 1}}},
        {3, {{1, 1.4f}}},
        {4, {{1, 10, 20, 30}}},
        {5, {{1, 32, 32, 255, 255, 255, 0, 0, 0}}},
        {6, {{1, 5, 16, 1}}},
        {7, {{1, -2, -1.5f, 1, 1.5f}}},
        {8, {{1, 7, 30}}},
        {10, {{0, 2, 1, 0.6f, 0.6f}}},
        {11, {{0, 2, 1, 1, 1}}},
        {12, {{0, 2, 1, 0.5f, 0.5f}}},
        {13, {{0, 2, 1, 1, 0.8f}}},
        {14, {{0, 2, 1, 1, 0.8f}}},
        {15, {{0, 2, 1, 1, 1}}},
        {16, {{0, 2, 1, 1, 1}}},
        {17, {{0, 2, 1, 1, 1}}},
        {20, {{0, 1, 1.2f, 0.8f, 1.1f}}},
        {21, {{0, 1, 1.1f, 1.3f, 0.9f}}},
        {22, {{0, 1, 20, -10, 5}}},
        {23, {{0, 1, 30, 0.1f, -10}}},
        {24, {{0, 1, 2, 3, 4}}},
        {32, {{0, 1, 3}}},
        {37, {{0, 1, 8}}},
        {38, {{0, 1, 32}}},
        {40, {{0, 1, 0.05f, 8, 0.07f, 8}}},
        {41, {{0, 1, 3, 0.7f}}},
        {42, {{0, 2, 1, 0.05f, 0.05f}}},
        {44, {{0, 1, 5, 4}}},
        {45, {{0, 1, 17, -9}}},
        {46, {{0, 1, 1}}},
        {47, {{0, 1, 64}}},
    };
    return table;
}

ParameterRecord parametersFor(int32_t opcode) {
    const auto& table = typicalParameters();
    const auto found = table.find(opcode);
    if (found != table.end()) return found->second;
    return ParameterRecord{{0, 1}}; // the operators that take only src and dst
}

void setCounters(benchmark::State& state, int64_t pixelsPerRun) {
    state.counters["MP/s"] = benchmark::Counter(
        static_cast<double>(pixelsPerRun) * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

void runOperator(benchmark::State& state, int32_t opcode) {
    const auto size = static_cast<int32_t>(state.range(0));
    if (!initLayers(size, size).ok()) {
        state.SkipWithError("initLayers failed");
        return;
    }
    runOperation(0, ParameterRecord{{0, 8, 11, 256, 1}});
    runOperation(0, ParameterRecord{{2, 32, 22, 256, 1}});
    const ParameterRecord params = parametersFor(opcode);
    for (auto _ : state) {
        const Status status = runOperation(opcode, params);
        if (!status.ok()) state.SkipWithError(status.message.c_str());
        benchmark::ClobberMemory();
    }
    setCounters(state, static_cast<int64_t>(size) * size);
    freeLayers();
}

// About twenty operations over all five layers, like a real texture.
const char* const kDescription = "layer 0:\n"
                                 "perlinNoise(0,32,1234,256,128,6,true);\n"
                                 "blurLayer(0,0);\n"
                                 "layer 1:\n"
                                 "subPlasma(1,16,77,256,false);\n"
                                 "woodLayer(1,1,3);\n"
                                 "embossLayer(1,1);\n"
                                 "layer 2:\n"
                                 "mandelBrot(2,-2,3,-1.5,3,16);\n"
                                 "twirlLayer(2,2,3.5,0.7);\n"
                                 "medianLayer(2,2);\n"
                                 "layer 3:\n"
                                 "checkerBoardLayer(3,32,32,255,255,255,0,0,0);\n"
                                 "sineDistort(3,3,0.05,4,0.05,4);\n"
                                 "mapDistort(3,0,3,0.05,0.05);\n"
                                 "motionBlur(3,3,4);\n"
                                 "layer 4:\n"
                                 "addLayers(0,1,4,0.5,0.5);\n"
                                 "mulLayers(4,2,4,1,1);\n"
                                 "maxCombineLayers(4,3,4,1,0.3);\n"
                                 "scaleLayerHSV(4,4,1,1.3,1);\n"
                                 "sharpenLayer(4,4);\n"
                                 "makeTilable(4,4,32);\n"
                                 "equalizeRGB(4,4);\n";

void BM_WholeDescription(benchmark::State& state) {
    static TextureDescription description{};
    if (auto error = compileDescription(kDescription, description)) {
        state.SkipWithError(formatCompileError(*error).c_str());
        return;
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(kSmall) * kSmall);
    for (auto _ : state) {
        const Status status = renderDescription(description, kSmall, kSmall, pixels.data());
        if (!status.ok()) state.SkipWithError(status.message.c_str());
        benchmark::DoNotOptimize(pixels.data());
    }
    setCounters(state, static_cast<int64_t>(kSmall) * kSmall);
}
BENCHMARK(BM_WholeDescription)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    for (const OperatorInfo& info : operatorTable()) {
        const std::string name = "BM_" + std::string(info.name);
        benchmark::RegisterBenchmark(name.c_str(), runOperator, info.opcode)
            ->Arg(kSmall)
            ->Arg(kLarge)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
