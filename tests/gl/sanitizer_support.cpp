// What the sanitizer build needs for the GL tests, compiled in so it applies
// however the tests are started.
#include <dlfcn.h>

#include <string>

namespace {

// Mesa's drivers keep allocations in globals and are unloaded when SDL's video
// shuts down, which the leak checker reports as lost in an unknown module:
// loaded again with RTLD_NODELETE they stay to the end. Missing ones are skipped.
const bool driversResident = [] {
    for (const char* library : {"libEGL_mesa.so.0", "libGLX_mesa.so.0"})
        dlopen(library, RTLD_NOW | RTLD_NODELETE);
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/dri", "/usr/lib64/dri", "/usr/lib/dri"})
        dlopen((std::string(folder) + "/swrast_dri.so").c_str(), RTLD_NOW | RTLD_NODELETE);
    return true;
}();

} // namespace

// D-Bus (SDL's screen-saver inhibition) frees its buffers only on shutdown;
// Mesa's software driver keeps its feedback-mode buffers past the context.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:swrast_dri.so\n";
}
