#pragma once
// Running other programs: hidden with captured output and a time limit, launched
// visibly without waiting, run and waited for, and found by executable name.

#include <cstdint>
#include <string>

// Runs a command line without a window, standard output and error captured into one pipe,
// for at most `timeoutMs`. `result` receives the output as ANSI text (cut at a zero byte in
// each read), "time out!" after the limit (the child is ended with everything it started),
// "create pipe error!" or "CreateProcess error!" when it cannot start (then `exitCode` is the
// system's error code, 2 for a missing program). Returns true only when the program ended
// with exit code 0. The wait also ends early when the calling thread is asked to stop (see
// platform/Thread.h).
bool RunAndCapture(const std::wstring& commandLine, std::wstring& result, uint32_t& exitCode,
                   uint32_t timeoutMs);

// First running process whose executable name is exactly `exeName` (case-sensitive),
// in process-table order. Leaves `pid` untouched when there is none.
bool FindProcessByName(const std::wstring& exeName, uint32_t& pid);

// Starts a program detached, as the desktop user rather than as this possibly elevated
// process (platform::LaunchAsDesktopUser; the support log says when it could not), and
// returns at once; true when it started. On failure writes "CreateProcess failed. Error: %d"
// to the debugger output stream.
bool LaunchProcess(const std::wstring& commandLine);

// Starts a program and waits without limit for it to end; true when it started
// (whatever its exit code). `program` may be null: the command line names the program.
// On failure writes the same text as LaunchProcess and sets `exitCode` to 0xFFFFFFFF.
bool RunAndWait(const std::wstring& commandLine, const wchar_t* program, uint32_t& exitCode,
                bool hidden);

// Ends the process FindProcessByName would find at once. It is held open from the scan to
// the end, so an id reused meanwhile ends nothing else. True when one was found (a
// failure to end it is not reported: callers try again); false when none runs.
bool EndProcessByName(const std::wstring& exeName);
