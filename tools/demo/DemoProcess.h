#pragma once
// What the demo programs ask of the system they run on, in UTF-8 on both: their own path,
// their arguments and environment values, and std::filesystem paths built from such text.
// On Windows these come from the wide functions, so a folder outside the ANSI code page
// (the install directory, the marker file) reaches the programs intact.

#include <filesystem>
#include <string>
#include <vector>

namespace qidemo {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr char kExeSuffix[] = ".exe";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr char kExeSuffix[] = "";
#endif

// The full path of the running program; empty when the system does not say.
std::string OwnExecutablePath();

// The arguments after the program's name.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The value of an environment variable; empty when it is unset.
std::string EnvironmentValue(const char* name);

// A path object for UTF-8 text, and the text of a path object.
std::filesystem::path FsPath(const std::string& utf8);
std::string FsString(const std::filesystem::path& path);

// True for an absolute path of this system ("/..."; "X:\..." or "\\server\share\..." on
// Windows).
bool IsAbsoluteDir(const std::string& path);

}  // namespace qidemo
