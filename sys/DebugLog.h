#pragma once
// The one writer of time-stamped diagnostic lines: "[Y-MM-DD hh:mm:ss ms] message\n" to
// the debugger output stream, in three writes (prefix, message, line feed). The format
// follows the Windows wide printf family (see platform/WideFormat.h). Messages longer than 4095
// characters are cut there.

void DebugLog(const wchar_t* format, ...);
