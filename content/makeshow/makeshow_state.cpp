#include "content/makeshow/makeshow_state.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

#include "content/makeshow/makeshow_files.h"
#include "content/makeshow/makeshow_hash.h"

namespace {

const char* const kStateHeader =
    "# makeshow: each output, the key it was built from, the hash of its bytes.\n"
    "# makeshow --force builds everything again; an output whose bytes differ from\n"
    "# its record was edited by hand and is kept unless makeshow runs with --overwrite.\n";

constexpr std::string_view kSpaces = " \t\r\v\f";

std::string statePath(const std::string& outDir) {
    return outDir + "/" + kStateFile;
}

} // namespace

BuildState readBuildState(const std::string& outDir) {
    std::vector<uint8_t> bytes;
    if (!readFileBytes(statePath(outDir), bytes).empty()) return {};
    return parseBuildState(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

BuildState parseBuildState(std::string_view text) {
    BuildState state;
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (line.empty() || line[0] == '#') continue;
        // Exactly three fields: PATH KEY FILEHASH.
        std::string_view fields[4];
        size_t count = 0;
        while (count < 4) {
            const size_t begin = line.find_first_not_of(kSpaces);
            if (begin == std::string_view::npos) break;
            line.remove_prefix(begin);
            const size_t end = std::min(line.find_first_of(kSpaces), line.size());
            fields[count++] = line.substr(0, end);
            line.remove_prefix(end);
        }
        OutputRecord record;
        if (count != 3 || !parseHashText(fields[1], record.key) ||
            !parseHashText(fields[2], record.fileHash))
            continue;
        state[std::string(fields[0])] = record;
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

OutputStatus checkOutput(const BuildState& state, const std::string& outDir,
                         const std::string& output, const std::vector<uint8_t>* built) {
    std::vector<uint8_t> bytes;
    std::error_code error;
    if (!std::filesystem::exists(outDir + "/" + output, error)) return OutputStatus::Missing;
    // A file that does not read is treated as changed: never overwrite blindly.
    const bool read = readFileBytes(outDir + "/" + output, bytes).empty();
    if (read && built && bytes == *built) return OutputStatus::Same;
    const auto found = state.find(output);
    if (found == state.end()) return OutputStatus::Unrecorded;
    return read && hashBytes(bytes) == found->second.fileHash ? OutputStatus::Ours
                                                              : OutputStatus::Edited;
}

StateLock::StateLock(const std::string& outDir) {
    const std::string path = outDir + "/" + kStateLockFile;
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error_ = path + ": cannot open: " + std::strerror(errno);
        return;
    }
    int locked;
    while ((locked = flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        error_ = path + ": cannot lock: " + std::strerror(errno);
        close(fd_);
        fd_ = -1;
    }
}

StateLock::~StateLock() {
    if (fd_ >= 0) close(fd_); // closing releases the lock
}
