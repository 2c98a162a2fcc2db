// The error value of the timeline, scene and script code.
//
//   TimelineError error = loadScript("script.sqx", music);
//   if (error) fatalError(error.module.c_str(), error.message.c_str());
//
// This code never ends the process and never writes a report itself: the
// caller decides. `module` and `message` are the exact texts of the report;
// `detail` says where (file, line, system cause) for a log or a terminal.
#pragma once

#include <cstdint>
#include <string>

// Every error of this library is reported under this module name.
inline constexpr const char* kTimelineModule = "kglTimeline";

struct TimelineError {
    std::string module;  // kTimelineModule on failure, empty when all went well
    std::string message; // the report's message text
    std::string detail;  // file name, line number or cause; never part of the report
    int32_t line = 0;    // the script line at fault, 0 when none

    bool ok() const { return message.empty(); }
    explicit operator bool() const { return !ok(); } // true when there is an error
};

TimelineError timelineFailure(std::string message, std::string detail = "");
