#include "makeshow/makeshow_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string scratchCopy(const std::string& from, const std::string& name) {
    const std::string dir = scratchDir(name);
    fs::copy(from, dir, fs::copy_options::recursive);
    return dir;
}

} // namespace

std::string showDirectory() {
    return TEST_SHOW_DIR;
}

std::string scratchDir(const std::string& name) {
    const fs::path dir =
        fs::path(testing::TempDir()) / ("makeshow_" + name + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

std::string scratchCopyOfShow(const std::string& name) {
    return scratchCopy(TEST_SHOW_DIR, name);
}

std::string scratchCopyOfAssets(const std::string& name) {
    return scratchCopy(TEST_ASSETS_DIR, name);
}

ToolResult runMakeshow(const std::string& arguments) {
    const fs::path out = scratchDir("stdout") + "/out.txt";
    const fs::path err = out.parent_path() / "err.txt";
    // fontconfig's lifelong caches are not ours to report in the sanitizer build.
    const std::string command = std::string("LSAN_OPTIONS=suppressions='") +
                                TEST_LSAN_SUPPRESSIONS + "' '" + TEST_MAKESHOW_EXE + "' " +
                                arguments + " >" + out.string() + " 2>" + err.string();
    const int status = std::system(command.c_str());
    ToolResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readAll(out);
    result.err = readAll(err);
    return result;
}
