#pragma once
// What separates the parts of a path. Windows takes either slash (the program joins paths
// with '/', the system hands out '\'); on Linux a backslash is an ordinary character.

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparators[] = "/\\";
inline constexpr wchar_t kWidePathSeparators[] = L"/\\";
#else
inline constexpr char kPathSeparators[] = "/";
inline constexpr wchar_t kWidePathSeparators[] = L"/";
#endif

}  // namespace platform
