// Leak reports the sanitizer build must not raise for the GL tests, compiled
// in so they apply however the tests are started.
//   D-Bus (SDL's screen-saver inhibition on X11) frees its buffers only on
//   dbus_shutdown.
//   Mesa's software driver does not free the buffers of its feedback mode
//   (glRenderMode(GL_FEEDBACK)) when the context is destroyed; the stage and
//   scene tests record quads that way. Whatever the driver allocates for our
//   own objects is freed with the context, so this hides nothing of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:swrast_dri.so\n";
}
