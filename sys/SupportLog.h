#pragma once
// The support log: every diagnostic line of a run, time-stamped as DebugLog writes it, kept
// in a file that a user can open and send to a support desk. Each line is appended with one
// write as it happens, so a crash or a power cut loses at most the line being written. The
// log of the run before is kept beside it with ".1" added. Without an open log the lines go
// to the debugger stream only, as before.

#include <string>
#include <string_view>

namespace sys {

// The log of this program when none is named: platform::GetDiagnosticLogPath's.
std::wstring DefaultSupportLogPath();

// Starts the log at `path` (empty: DefaultSupportLogPath()), creating its folder; a log
// already there becomes path + ".1". False, with a line on the debugger stream, when the
// file cannot be made: the run goes on without it.
bool OpenSupportLog(const std::wstring& path = std::wstring());
// Ends the log; later lines go to the debugger stream only.
void CloseSupportLog();
// The open log's path; empty when none is open.
std::wstring SupportLogPath();

// Appends one line (a line feed is added); nothing when no log is open. Thread-safe.
void AppendSupportLog(std::wstring_view line);

}  // namespace sys
