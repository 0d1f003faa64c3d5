// What the Win32 side shares: UTF-8 and UTF-16 at the boundary, the
// system's errors as errno values, the handle under a descriptor.
#pragma once

#include <windows.h>

#include <string>

namespace drs::platform::win32 {

// UTF-8 to UTF-16 for a path, '/' turned into '\'.
std::wstring WidePath(const std::string& path);
std::wstring Wide(const std::string& text);
std::string Narrow(const wchar_t* text, size_t length);
inline std::string Narrow(const std::wstring& text) { return Narrow(text.data(), text.size()); }
// A path from the system with '/' as separator, as the program spells them.
std::string ProgramPath(const std::wstring& path);
// errno for a Win32 error code.
int ErrnoOf(DWORD error);
// Sets errno from GetLastError(); -1 for the caller to return.
int Failed();
HANDLE HandleOf(int fd);

}  // namespace drs::platform::win32
