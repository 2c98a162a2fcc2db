// Shared fixture of the command-line tool tests: each test runs a tool of
// the build in a folder of its own (so ctest may run them in parallel) and
// looks at its exit code, stdout and stderr.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline int lineCount(const std::string& text) {
    return int(std::count(text.begin(), text.end(), '\n'));
}

class ToolTest : public testing::Test {
  protected:
    fs::path dir;

    explicit ToolTest(std::string toolName) : tool(std::move(toolName)) {}

    void SetUp() override {
        const char* tools = std::getenv("TEST_TOOLS_DIR");
        ASSERT_NE(tools, nullptr) << "TEST_TOOLS_DIR must name the build's tools folder";
        executable = fs::path(tools) / tool;
        ASSERT_TRUE(fs::exists(executable)) << executable;
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::path(testing::TempDir()) /
              (tool + "_" + std::string(info->name()) + "_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        if (!std::getenv("KEEP_TEST_FILES")) fs::remove_all(dir); // set it to look at the files
    }

    // Runs the tool with `arguments` (shell words).
    ToolRun run(const std::string& arguments) const {
        const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
        const std::string command =
            executable.string() + " " + arguments + " >" + out.string() + " 2>" + err.string();
        const int status = std::system(command.c_str());
        ToolRun result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = readText(out);
        result.err = readText(err);
        return result;
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

  private:
    std::string tool;
    fs::path executable;
};
