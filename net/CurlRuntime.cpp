#include "net/CurlRuntime.h"

#include <curl/curl.h>

#include <mutex>

#include "net/ClusterCurl.h"

namespace {

// Never destroyed: clients on threads that outlive the statics may still release theirs.
struct CCurlGlobalState {
    std::mutex lock;
    bool initialised = false;  // guarded by lock
    int clients = 0;           // guarded by lock
};

CCurlGlobalState& State() {
    static auto* state = new CCurlGlobalState();
    return *state;
}

// Under the state's lock.
bool InitialiseLocked(CCurlGlobalState& state) {
    if (state.initialised)
        return true;
    const CURLcode code = curl_global_init(CURL_GLOBAL_ALL);
    if (code != CURLE_OK) {
        traceError("curl_global_init() failed: %s\n", curl_easy_strerror(code));
        return false;
    }
    state.initialised = true;
    return true;
}

}  // namespace

bool EnsureCurlGlobal() {
    CCurlGlobalState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return InitialiseLocked(state);
}

void ReleaseCurlGlobal(bool allThreadsEnded) {
    CCurlGlobalState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.initialised)
        return;
    if (!allThreadsEnded || state.clients > 0) {
        traceError("curl_global_cleanup skipped: threads ended=%d, clients=%d\n",
                   allThreadsEnded ? 1 : 0, state.clients);
        return;
    }
    curl_global_cleanup();
    state.initialised = false;
}

CCurlGlobalUse::CCurlGlobalUse() {
    CCurlGlobalState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    m_bOk = InitialiseLocked(state);
    if (m_bOk)
        ++state.clients;
}

CCurlGlobalUse::~CCurlGlobalUse() {
    if (!m_bOk)
        return;
    CCurlGlobalState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    --state.clients;
}
