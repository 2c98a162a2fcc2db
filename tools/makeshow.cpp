// makeshow: builds the show directory from the editable sources in assets/.
//
//   makeshow OUTDIR [--force] [--overwrite] [--jobs N] [--assets DIR]
//                   [--only SOURCE] [--draft]
//
// Without --assets the sources are the assets/ of the checkout this
// executable was built in or configured from (see findAssetsDir), else
// ./assets.
//
// Renders every picture of assets/pictures.txt and encodes it as HWL (with
// its "_alpha" companion where the list says so), renders the score to the
// Ogg Vorbis file that the script names, and copies the script after reading
// it the way the show does. An output whose sources, settings and tool are
// unchanged since the last run (OUTDIR/makeshow.state) is left alone.
// Every broken source is one line on stderr; the run builds what it can and
// then exits with code 1, so one run shows everything there is to mend.
//
// --only SOURCE builds just the outputs made from that source (a path under
// the assets folder): the live mode rebuilds each saved source on its own,
// so a picture never waits for the music. --draft encodes large pictures
// with fixed settings instead of the search for the smallest file: on screen
// in a moment, and replaced by the next run without it.
//
// An output that a person changed in the show folder (its bytes are not the
// ones recorded as written) is never overwritten: that is a broken line too,
// naming the source to edit instead, unless --overwrite lets makeshow win.
// An output with no record at all (a show folder made by hand, a lost state
// file) is refused the same way unless it already holds exactly what
// makeshow would write: refusing is the safe side.
#include <CLI/CLI.hpp>

#include <filesystem>

#include "content/makeshow/makeshow_run.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMaxJobs = 64;

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"makeshow: builds the show directory (pictures, music, script) from assets/"};
    MakeshowOptions options;
    app.add_option("OUTDIR", options.outDir, "show folder to build or bring up to date")
        ->required();
    app.add_flag("--force", options.force, "build every output, even those up to date");
    app.add_flag("--overwrite", options.overwrite,
                 "replace outputs changed in the show folder since makeshow wrote them");
    app.add_option("--only", options.only,
                   "build only the outputs made from this source (a path in the assets folder, "
                   "such as textures/floor.txt)");
    app.add_flag("--draft", options.draft,
                 "encode large pictures with fixed settings, fast, instead of searching for the "
                 "smallest file");
    app.add_option("--jobs", options.jobs, "outputs built at once (default: one per core)")
        ->check(CLI::Range(1, kMaxJobs));
    app.add_option("--assets", options.assetsDir,
                   "source folder (default: the assets/ of the checkout this makeshow was "
                   "built in or configured from, else ./assets)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& request) {
        return app.exit(request);
    } catch (const CLI::ParseError& error) {
        makeshowFail(error.what()); // one line, unlike CLI11's default two
        return 1;
    }
    if (!options.only.empty())
        options.only = fs::path(options.only).lexically_normal().generic_string();
    return makeShow(options);
}
