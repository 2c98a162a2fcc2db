// Shared fixture of the command-line tool tests: each test runs a tool of
// the build in a folder of its own (so ctest may run them in parallel) and
// looks at its exit code, stdout and stderr. Set KEEP_TEST_FILES to keep the
// folder for a look at the files.
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
    std::string out, err;
};

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        dir = fs::path(testing::TempDir()) / (tool + "_" + test + "_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        if (!std::getenv("KEEP_TEST_FILES")) fs::remove_all(dir);
    }

    // Runs the tool with `arguments` (shell words).
    ToolRun run(const std::string& arguments) const {
        const std::string out = path("stdout.txt"), err = path("stderr.txt");
        const int status =
            std::system((executable.string() + " " + arguments + " >" + out + " 2>" + err).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(out), readText(err)};
    }

    // A failure: a non-zero exit and one line on stderr, "TOOL: ...", that
    // holds `cause`.
    ToolRun expectFailure(const std::string& arguments, const std::string& cause) const {
        const ToolRun result = run(arguments);
        EXPECT_NE(result.exitCode, 0) << arguments;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.err.rfind(tool + ": ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(cause), std::string::npos) << arguments << ": " << result.err;
        return result;
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

  private:
    std::string tool;
    fs::path executable;
};
