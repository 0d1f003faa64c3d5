// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <cstdint>
#include <string>

namespace drs {

// Reads the file's bytes; false when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string* error = nullptr);
// Writes the bytes to a temporary file beside `path`, flushes it to disk and
// renames it over `path`, so the file is either the old or the new content.
// The temporary file is a new file of a random name (never a link or a file
// that was there), removed again on every failure.
// Refuses a read-only existing file. False (with the reason) on failure.
bool WriteFileAtomic(const std::string& path, const std::string& bytes, std::string* error = nullptr);
bool FileExists(const std::string& path);
// Creates a new file of a random name (".<name>.<random>.tmp~") beside
// `path` with the mode bits `mode`, never following a link nor reusing a
// file that is there. The descriptor, or -1 with errno set.
int CreateTempBeside(const std::string& path, unsigned mode, std::string& tmp);
// Renames `from` over `to` in one step, lasting through a crash.
bool RenameOver(const std::string& from, const std::string& to, std::string* error = nullptr);
// Gives `from` the name `to` only while no file has it (EEXIST otherwise).
bool RenameNew(const std::string& from, const std::string& to, std::string* error = nullptr);
// Creates the folder and every missing folder above it, each open to its
// owner alone (0700); true when the folder is there afterwards.
bool MakeFolders(const std::string& path);
// Removes a file; false (with the reason) when it cannot be removed.
bool RemoveFile(const std::string& path, std::string* error = nullptr);
// The system's text for errno, in Russian where we have one.
std::string SystemErrorText(int err);

}  // namespace drs
