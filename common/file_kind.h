// What a file's first bytes say it is, for messages when a tool is handed
// the wrong kind of file: "it starts like a PNG".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "a PNG picture", "a JPEG picture", "an HWL file", "text", or "" when the
// bytes look like none of these. Never claims more than the bytes show.
std::string guessFileKind(const uint8_t* bytes, size_t size);

// The same for the start of a file on disk ("" when it cannot be read).
std::string guessFileKind(const std::string& fileName);
