#include "tools/makeshow_state.h"

#include <sstream>

#include "tools/makeshow_files.h"
#include "tools/makeshow_hash.h"

namespace {

const char* const kStateHeader =
    "# makeshow: each output, the key it was built from, the hash of its bytes.\n"
    "# Delete this file (or run makeshow --force) to build everything again.\n";

std::string statePath(const std::string& outDir) {
    return outDir + "/" + kStateFile;
}

} // namespace

BuildState readBuildState(const std::string& outDir) {
    BuildState state;
    std::vector<uint8_t> bytes;
    if (!readFileBytes(statePath(outDir), bytes).empty()) return state;
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string path, key, fileHash, extra;
        OutputRecord record;
        if (!(fields >> path >> key >> fileHash) || (fields >> extra)) continue;
        if (!parseHashText(key, record.key) || !parseHashText(fileHash, record.fileHash)) continue;
        state[path] = record;
    }
    return state;
}

std::string writeBuildState(const std::string& outDir, const BuildState& state) {
    std::string text = kStateHeader;
    for (const auto& [path, record] : state)
        text += path + " " + hashText(record.key) + " " + hashText(record.fileHash) + "\n";
    return writeFileAtomically(statePath(outDir), text.data(), text.size());
}

bool outputsUpToDate(const BuildState& state, const std::string& outDir,
                     const std::vector<std::string>& outputs, uint64_t key) {
    for (const std::string& output : outputs) {
        const auto found = state.find(output);
        if (found == state.end() || found->second.key != key) return false;
        std::vector<uint8_t> bytes;
        if (!readFileBytes(outDir + "/" + output, bytes).empty()) return false;
        if (hashBytes(bytes) != found->second.fileHash) return false;
    }
    return true;
}
