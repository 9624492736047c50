#pragma once
// The installer's application, as the program, its tests and its benchmarks all build it.

#include <functional>
#include <memory>

#include "uilib/SApplication.h"

// The UI library's application on `host` (null: the headless host), drawn by
// `renderFactory` (which carries its image decoder), with the program's "buttonex" control,
// its named IDs and its embedded resources. Null, after a log line, when any of them does
// not load: the windows could not be built from half of them. `beforeResources` runs on the
// new application before the program's resources load (the system resources go there, so
// that the program's own skins win over theirs).
std::unique_ptr<SOUI::SApplication> CreateProgramApp(
    SOUI::IRenderFactory* renderFactory, SOUI::IHostBackend* host,
    const std::function<void(SOUI::SApplication&)>& beforeResources = nullptr);
