// Opening files by UTF-8 name on every system. On Linux a name is bytes and
// these are std::fopen and std::filesystem::path; on Windows the narrow
// calls take the ANSI code page, so the name goes through the wide-character
// calls instead, and names with any character open.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

// As std::fopen, `mode` as there ("rb", "wb", ...).
std::FILE* openFile(const std::string& utf8Name, const char* mode);

// The path a UTF-8 name stands for, for std::filesystem and the streams.
std::filesystem::path utf8Path(const std::string& utf8Name);

// And back: a path's UTF-8 name.
std::string utf8Name(const std::filesystem::path& path);

// Writes `length` bytes at `offset` of a file opened for writing, without a
// shared file position, so several threads may write their parts at once.
// Nothing else may write through `file`'s buffer. Returns 0, or the cause
// (an errno value).
int writeAt(std::FILE* file, const void* bytes, size_t length, uint64_t offset);
