// What the sanitizer build needs for the GL tests, compiled in so it applies
// however the tests are started.
#include <dlfcn.h>

#include <string>

namespace {

// Mesa's drivers keep allocations in their globals and are unloaded when the
// window layer shuts SDL's video down; the leak checker then reports them as
// lost in an unknown module. Loaded once more with RTLD_NODELETE they stay
// until the process ends. A driver that is not there is skipped.
const bool driversResident = [] {
    for (const char* library : {"libEGL_mesa.so.0", "libGLX_mesa.so.0"})
        dlopen(library, RTLD_NOW | RTLD_NODELETE);
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/dri", "/usr/lib64/dri", "/usr/lib/dri"})
        dlopen((std::string(folder) + "/swrast_dri.so").c_str(), RTLD_NOW | RTLD_NODELETE);
    return true;
}();

} // namespace

// D-Bus (SDL's screen-saver inhibition on X11) frees its buffers only on
// dbus_shutdown. Mesa's software driver does not free the buffers of its
// feedback mode when the context is destroyed (the scene tests record quads
// that way); what it allocates for our own objects goes with the context.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:swrast_dri.so\n";
}
