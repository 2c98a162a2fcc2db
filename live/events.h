// The live mode's event lines on standard output: one line per event,
// flushed at once, so that whoever follows on a pipe sees it now.
#pragma once

[[gnu::format(printf, 1, 2)]] void printEvent(const char* format, ...);
