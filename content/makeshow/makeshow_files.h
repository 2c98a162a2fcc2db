// Whole-file reading and writing for makeshow. Errors are one line naming
// the file and the cause.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Empty on success.
std::string readFileBytes(const std::string& fileName, std::vector<uint8_t>& bytes);

// Writes into "NAME.part" and renames it over NAME, so that an interrupted
// run never leaves a half-written output that looks finished. Creates the
// parent folder. Empty on success.
std::string writeFileAtomically(const std::string& fileName, const void* data, size_t size);
std::string writeFileAtomically(const std::string& fileName, const std::vector<uint8_t>& bytes);

// The sources to read when no folder is named: the assets/ of the checkout
// whose build holds this executable (the first folder above it with assets/
// beside tools/makeshow.cpp, so that a copied or second checkout reads its
// own), else the assets/ of the checkout the build was configured from (a
// build folder outside the checkout), else ./assets. Absolute; empty when
// none exists.
std::string findAssetsDir();
