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
