// A fresh copy, for this test process, of the show directory that the
// makeshow_build test makes once per run; tests change only such copies.
#pragma once

#include <string>

std::string scratchCopyOfShow(const std::string& name);
