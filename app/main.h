#pragma once
// The program's body, shared by the entry points of both systems.

#include <string>
#include <vector>

// Runs quillora-installer with `args` (the command line without the program's name; on
// Windows UTF-8) and returns its exit code.
int ProgramMain(const std::vector<std::string>& args);
