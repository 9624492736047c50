// libcurl's process-wide set-up for a test program, as the installer's start-up does it:
// once before any test, and the clean-up after the last request thread has ended.
// Compiled into each network test program (it needs qi_net, which this folder's library
// does not link).

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "net/HttpMgr.h"

namespace {

class CCurlEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(curl_global_init(CURL_GLOBAL_ALL), CURLE_OK); }
    void TearDown() override {
        CHttpMgr::GetInstance()->TerminateAll();
        curl_global_cleanup();
    }
};

::testing::Environment* const g_pCurlEnvironment =
    ::testing::AddGlobalTestEnvironment(new CCurlEnvironment);

}  // namespace
