#include "live/live_options.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>

#include "platform/open_file.h"
#include "show/show_state.h"

namespace {

constexpr const char* kKeys = R"(Keys:
  Space                 pause / play (music and picture together)
  Left, Right           1 s back / forward; with Shift 10 s
  Page Up, Page Down    start of the previous / next scene placement
  Home                  back to 0
  L                     loop the placement playing (again: stop looping)
  H                     hide / show the overlay
  Escape                end
  Click or drag on the timeline strip to seek there.

Files the show uses (data/*.hwl, script.sqx, the music) are taken up again
when they change; with --assets an edited source is rebuilt first. A file
that does not read is reported and the last good one stays.

Standard output gets one line per event, times in ms:
  play T | pause T | seek T SCENE | loop on SCENE START END | loop off | end T
  reload FILE | rebuild SOURCE | error FILE: MESSAGE | mended FILE)";

int fail(const std::string& message) {
    std::fprintf(stderr, "indahouse: %s\n", message.c_str());
    return 1;
}

} // namespace

int parseLiveOptions(int argc, char** argv, LiveOptions& options) {
    CLI::App app{"indahouse: the show. Without options it asks for its settings and plays the "
                 "show in the current directory. With --live it is the show for the person "
                 "making it: a window that can pause, seek and loop in step with the music."};
    app.footer(kKeys);
    bool live = false;
    std::string size = "800x600";
    app.add_flag("--live", live, "play in live mode (the options below need it)");
    app.add_option("--dir", options.dir, "the show directory (script.sqx, the music, data/)")
        ->default_str(".");
    app.add_option("--assets", options.assets,
                   "also watch these sources (assets/): an edit runs makeshow for what it "
                   "affects and the show takes up the new files");
    app.add_option("--size", size, "window size WxH")->default_str("800x600");
    app.add_option("--at", options.at, "start at this play time, ms (past the end: the end)");
    app.add_flag("--paused", options.paused,
                 "start paused, on the frame capture --at shows (Space plays)");
    app.add_flag("--mute", options.mute, "play the music silently (the clock runs all the same)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        // A mistake: say it, then what the program takes.
        fail(error.what());
        std::fprintf(stderr, "\n%s", app.help().c_str());
        return 1;
    }
    if (!live) {
        fail("options other than --help need --live");
        std::fprintf(stderr, "\n%s", app.help().c_str());
        return 1;
    }
    if (options.at < 0) {
        return fail("--at " + std::to_string(options.at) + ": a play time is 0 ms or more");
    }
    if (!parseScreenSize(size, options.width, options.height)) {
        return fail("--size " + size + ": expected WxH, sides 1 to " +
                    std::to_string(kMaxScreenSide));
    }
    std::error_code error;
    if (!options.assets.empty()) {
        if (!std::filesystem::is_directory(utf8Path(options.assets), error))
            return fail("--assets " + options.assets + ": not a folder");
        options.assets =
            utf8Name(std::filesystem::absolute(utf8Path(options.assets), error).lexically_normal());
        if (options.assets.size() > 1 && options.assets.back() == '/') options.assets.pop_back();
    }
    std::filesystem::current_path(utf8Path(options.dir), error);
    if (error) return fail("--dir " + options.dir + ": " + error.message());
    return -1;
}
