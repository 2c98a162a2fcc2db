// Mesa's drivers keep allocations in their globals and are unloaded when the
// window layer shuts SDL's video down; LeakSanitizer then reports those as
// lost in an unknown module. Loading them once more with RTLD_NODELETE keeps
// them resident until the process ends. A driver that is not there is skipped.
#include <dlfcn.h>

#include <initializer_list>
#include <string>

namespace {

bool keepDriversResident() {
    for (const char* library : {"libEGL_mesa.so.0", "libGLX_mesa.so.0"})
        dlopen(library, RTLD_NOW | RTLD_NODELETE);
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/dri", "/usr/lib64/dri", "/usr/lib/dri"})
        dlopen((std::string(folder) + "/swrast_dri.so").c_str(), RTLD_NOW | RTLD_NODELETE);
    return true;
}

const bool driversResident = keepDriversResident();

} // namespace
