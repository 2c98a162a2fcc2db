#include "platform/fatal_error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/open_file.h"
#include "platform/window.h"

namespace {

constexpr const char* kReportHeading = "Sorry, but the following module had something to say:";
constexpr const char* kLineEnd = "\r\n";

// Binary mode keeps the CR LF exactly as written on every system.
// Returns 0 when the file is complete, otherwise the system's cause.
int writeReportFile(const std::string& report) {
    std::FILE* file = openFile(kErrorReportFile, "wb");
    if (file == nullptr) return errno;
    int cause = std::fwrite(report.data(), 1, report.size(), file) == report.size() ? 0 : errno;
    if (std::fclose(file) != 0 && cause == 0) cause = errno;
    return cause;
}

} // namespace

std::string errorReport(const std::string& module, const std::string& message) {
    return std::string(kReportHeading) + kLineEnd + kLineEnd + module + kLineEnd + message +
           kLineEnd;
}

void fatalError(const std::string& module, const std::string& message) {
    if (const int cause = writeReportFile(errorReport(module, message)); cause != 0) {
        std::fprintf(stderr, "could not write %s: %s\n", kErrorReportFile, std::strerror(cause));
    }
    closeWindow();
    std::fprintf(stderr, "%s\n\n%s\n%s\n", kReportHeading, module.c_str(), message.c_str());
    std::exit(kFatalExitCode);
}
