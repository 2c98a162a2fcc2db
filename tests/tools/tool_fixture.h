// The tool tests run a tool of the build in a folder of their own (so ctest
// may run them in parallel) and look at its exit code, stdout and stderr.
// KEEP_TEST_FILES keeps the folder for a look at the files.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/png_io.h"

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline PngImage readPngFile(const std::string& file) {
    PngImage image;
    EXPECT_TRUE(readPng(file, image).ok()) << file;
    return image;
}

class ToolTest : public testing::Test {
  protected:
    explicit ToolTest(std::string toolName) : tool(std::move(toolName)) {}

    void SetUp() override {
        const char* tools = std::getenv("TEST_TOOLS_DIR");
        ASSERT_NE(tools, nullptr) << "TEST_TOOLS_DIR must name the build's tools folder";
        executable = fs::path(tools) / tool;
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        dir = fs::path(testing::TempDir()) / (tool + "_" + test + "_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        if (!std::getenv("KEEP_TEST_FILES")) fs::remove_all(dir);
    }

    ToolRun run(const std::string& shellWords) const {
        const std::string out = path("stdout.txt"), err = path("stderr.txt");
        const int status = std::system(
            (executable.string() + " " + shellWords + " >" + out + " 2>" + err).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(out), readText(err)};
    }
    // A failure: a non-zero exit and one line on stderr, "TOOL: ...", holding `cause`.
    ToolRun expectFailure(const std::string& shellWords, const std::string& cause) const {
        const ToolRun result = run(shellWords);
        EXPECT_NE(result.exitCode, 0) << shellWords;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.err.rfind(tool + ": ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(cause), std::string::npos) << shellWords << ": " << result.err;
        return result;
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;

  private:
    std::string tool;
    fs::path executable;
};
