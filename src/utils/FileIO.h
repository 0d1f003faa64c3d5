// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <string>

namespace drs {

// Reads the file's bytes; false when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string* error = nullptr);
// Writes the bytes to a temporary file beside `path`, flushes it to disk and
// renames it over `path`, so the file is either the old or the new content.
// Refuses a read-only existing file. False (with the reason) on failure.
bool WriteFileAtomic(const std::string& path, const std::string& bytes, std::string* error = nullptr);
bool FileExists(const std::string& path);
// The system's text for errno, in Russian where we have one.
std::string SystemErrorText(int err);

}  // namespace drs
