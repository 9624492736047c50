// Makes the main thread's pango font map, through the renderer, before any test runs. On
// Windows the test registry (tests/support/TempRegistry.h) points HKEY_LOCAL_MACHINE at an
// empty key, where DirectWrite then finds no system fonts; pango reads them once per thread,
// when its font map is made.

#include <gtest/gtest.h>

#include "uilib/SAutoRefPtr.h"
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"

namespace {

class FontMapFirst : public ::testing::Environment {
public:
    void SetUp() override {
        auto factory = SOUI::AdoptRef(new SOUI::SRenderFactoryCairo);
        SOUI::IRenderTarget* rt = nullptr;
        ASSERT_TRUE(factory->CreateRenderTarget(&rt, 1, 1));
        rt->Release();
    }
};

[[maybe_unused]] ::testing::Environment* const s_fontMapFirst =
    ::testing::AddGlobalTestEnvironment(new FontMapFirst);

}  // namespace
