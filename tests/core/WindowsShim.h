// POSIX calls the core's tests use, for their Windows build (force-included
// there by tests/CMakeLists.txt).
#pragma once

#ifdef _WIN32
#include <cstdlib>
#include <ctime>

inline int setenv(const char* name, const char* value, int) { return _putenv_s(name, value); }
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
inline std::tm* localtime_r(const std::time_t* time, std::tm* out) {
  return localtime_s(out, time) == 0 ? out : nullptr;
}
#endif
