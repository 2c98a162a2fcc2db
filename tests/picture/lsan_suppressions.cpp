// Leak reports the sanitizer build must not raise for the picture tests,
// compiled in so they apply however the tests are started.
//   fontconfig, which librsvg reaches through pango for SVG text, keeps its
//   font configuration and cache for the life of the process; only FcFini
//   would free them, and pango still holds them at exit.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
