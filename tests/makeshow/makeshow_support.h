// The show directory the makeshow_build test makes for the whole test run,
// and scratch copies for the tests that change things.
#pragma once

#include <string>

// TEST_SHOW_DIR: built once per run; tests only read it.
std::string showDirectory();

// A fresh, empty folder for this test program's process.
std::string scratchDir(const std::string& name);
// Fresh copies of the built show directory and of assets/.
std::string scratchCopyOfShow(const std::string& name);
std::string scratchCopyOfAssets(const std::string& name);

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs makeshow with `arguments` (shell words).
ToolResult runMakeshow(const std::string& arguments);
