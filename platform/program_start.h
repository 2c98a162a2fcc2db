// What every program does first, so that it behaves alike on every system.
//
//   int main(int argc, char** argv) {
//       startProgram(argc, argv);   // argv: UTF-8 from here on
//
// On Windows a GUI-subsystem program (the show) has no standard output of
// its own: its stdout and stderr are joined to the console it was started
// from, unless they already lead to a pipe or a file, which keep working.
// And Windows hands main its arguments in the ANSI code page: they are
// replaced by the UTF-8 form of the wide command line, so that names
// outside that code page survive. Elsewhere nothing changes.
#pragma once

void startProgram(int& argc, char**& argv);
