// The one error path of the show: a four-line report in "error.txt", the
// window and display mode released, exit code 1.
//
//   if (result.texture == nullptr) fatalError(result.module, result.message);
//
// Libraries never call it; they return their error and the show reports it.
#pragma once

#include <string>

inline constexpr const char* kErrorReportFile = "error.txt";
inline constexpr int kFatalExitCode = 1;

// The report's bytes: a fixed first line, an empty line, the module name
// and the message, each ended by CR LF.
std::string errorReport(const std::string& module, const std::string& message);

// Writes the report to kErrorReportFile in the working directory (replacing
// any older one) and to stderr, releases the window (closeWindow) and ends
// the process with kFatalExitCode. If the file cannot be written the rest
// still happens and stderr says why.
[[noreturn]] void fatalError(const std::string& module, const std::string& message);
