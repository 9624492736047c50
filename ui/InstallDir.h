#pragma once
// The install directory as the main window handles it: the default under the program-files
// folder, the product folder appended to a typed or picked path, and the check (with the one
// level it may create) that a path can take the product.

#include <string>

// The product's folder name, appended to whatever directory the user gives.
inline constexpr wchar_t kProductFolder[] = L"Quillora";

// The program-files folder (the 32-bit one under WOW64), created when missing, plus
// "/Quillora". "/Quillora" alone when no program-files folder can be had.
std::wstring DefaultInstallDir();

// A typed path: unchanged when its last 8 characters are "Quillora" (case-sensitive),
// otherwise "/Quillora" appended (a trailing "/" is kept, giving "//").
std::wstring AppendProductFolder(const std::wstring& path);

// A folder the picker returned: the root "/" gives "/Quillora", another folder gets
// "/Quillora", and an empty path (a folder without a file-system path) the bare name.
std::wstring PickedFolderToInstallDir(const std::wstring& folder);

// True when `path` can be the install directory: absolute, free of double quotes and control
// characters (it must stand quoted on a command line), and a directory that exists or whose
// last level could be created here (only that one level is ever created).
bool PrepareInstallDir(const std::wstring& path);
