#pragma once
// The application the UI benchmarks run: the program's own (ui/ProgramApp.h) with the real
// renderer and decoder, on the given host backend.

#include <cstdlib>
#include <memory>

#include "ui/ProgramApp.h"
#include "ui/testing/CairoPngRenderer.h"

class CBenchApp {
public:
    explicit CBenchApp(SOUI::IHostBackend* backend)
        : app(CreateProgramApp(uitest::CreateCairoPngRenderer().get(), backend)) {
        if (app == nullptr)
            std::abort();  // nothing to measure
    }
    std::unique_ptr<SOUI::SApplication> app;
};
