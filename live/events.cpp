#include "live/events.h"

#include <cstdarg>
#include <cstdio>

void printEvent(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::putchar('\n');
    std::fflush(stdout);
}
