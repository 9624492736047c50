#pragma once
// The installation without a window (--silent, --layout): the install thread runs as it does
// behind the window, and each step it reports becomes one line on standard output. Ctrl+C,
// SIGTERM and SIGHUP stop it as closing the window would.

#include "app/CommandLine.h"

// Runs the installation (or the layout) the options ask for; the exit code is the run's
// InstallFailure value (0 when it did everything).
int RunUnattended(const CInstallerOptions& options);
