#pragma once
// The program's UI as tests need it: the program's application (ui/ProgramApp.h) drawn by
// the real cairo renderer and PNG decoder, on a given host backend (null: the headless one).

#include <gtest/gtest.h>

#include <memory>

#include "ui/ProgramApp.h"
#include "ui/testing/CairoPngRenderer.h"

namespace uitest {

class ProgramUi {
public:
    // Sets everything up; a failure is a test failure and leaves Ok() false.
    explicit ProgramUi(SOUI::IHostBackend* backend = nullptr)
        : m_app(CreateProgramApp(CreateCairoPngRenderer().get(), backend)) {
        EXPECT_NE(m_app, nullptr) << "the program's application did not load";
    }

    bool Ok() const { return m_app != nullptr; }
    SOUI::SApplication& App() { return *m_app; }

private:
    std::unique_ptr<SOUI::SApplication> m_app;
};

}  // namespace uitest
