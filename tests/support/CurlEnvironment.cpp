// libcurl's process-wide state for a test program, as the installer's teardown treats it:
// set up by the first transfer, released after the last request thread has ended.
// Compiled into each network test program (it needs qi_net, which this folder's library
// does not link).

#include <gtest/gtest.h>

#include "net/CurlRuntime.h"
#include "net/HttpMgr.h"

namespace {

class CCurlEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        const bool ended = CHttpMgr::GetInstance()->TerminateAll();
        EXPECT_TRUE(ended) << "a request thread outlived the tests";
        ReleaseCurlGlobal(ended);
    }
};

::testing::Environment* const g_pCurlEnvironment =
    ::testing::AddGlobalTestEnvironment(new CCurlEnvironment);

}  // namespace
