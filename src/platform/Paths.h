// How this system spells paths. On Windows a drive letter, a UNC share and
// both separators; on POSIX the slash alone.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace drs::platform {

// The characters that separate folders.
#ifdef _WIN32
inline constexpr const char* kSeparators = "/\\";
#else
inline constexpr const char* kSeparators = "/";
#endif

bool IsAbsolutePath(std::string_view path);
// Bytes of the path's root: "/" 1; on Windows "C:/" 3, "C:" 2,
// "//server/share/" up to its end. 0 for a relative path.
size_t RootLength(std::string_view path);
// The folder with one separator after it, to put a name behind ("/" stays "/").
std::string FolderPrefix(const std::string& folder);
// The name holds a folder part.
bool HasFolder(std::string_view name);
// The path made absolute against the working folder.
std::string AbsolutePath(const std::string& path);

}  // namespace drs::platform
