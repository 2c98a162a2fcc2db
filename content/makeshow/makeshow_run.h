// makeshow's run: plans the jobs, skips those whose outputs are up to date,
// builds the rest in parallel and writes each output with its record, never
// over an output a person changed (unless told to overwrite). Prints a line
// per output and a summary on stdout, a line per broken source on stderr.
#pragma once

#include "content/makeshow/makeshow_jobs.h"

// The tool's exit code: 0, or 1 when anything was broken or refused.
int makeShow(MakeshowOptions options);
