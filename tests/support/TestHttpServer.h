#pragma once
// A real HTTP server for tests, on 127.0.0.1 with a free port, serving canned answers by
// path and recording every request it receives. Each answer may carry any status, come
// with or without Content-Length (chunked), arrive slowly in pieces, break off in the
// middle of the body, or redirect (also to itself, for redirect loops).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace qitest {

struct CRecordedRequest {
    std::string method;
    std::string path;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    // Values of a header, compared case-insensitively, in the order received.
    std::vector<std::string> HeaderValues(const std::string& name) const;
    std::string Header(const std::string& name) const;  // first value or ""
};

struct CCannedResponse {
    int status = 200;
    std::string body;
    std::string contentType = "application/octet-stream";
    bool chunked = false;            // no Content-Length: chunked framing
    uint64_t generatedSize = 0;      // > 0: this many bytes of GeneratedBytes instead of body
    uint64_t cutAfter = UINT64_MAX;  // drop the connection after this many body bytes
    size_t pieceSize = 0;            // > 0: send the body in pieces of this size ...
    int pieceDelayMs = 0;            // ... each after this pause
    std::vector<std::pair<std::string, std::string>> headers;  // extra headers

    static CCannedResponse Status(int status, std::string body);
    static CCannedResponse Redirect(const std::string& location, int status = 302);
};

class CTestHttpServer {
public:
    CTestHttpServer();   // listens at once; IsRunning tells whether that worked
    ~CTestHttpServer();  // cuts slow answers short and stops
    CTestHttpServer(const CTestHttpServer&) = delete;
    CTestHttpServer& operator=(const CTestHttpServer&) = delete;

    bool IsRunning() const { return m_nPort > 0; }
    int Port() const { return m_nPort; }
    std::string Url(const std::string& path) const;

    // The answer to every method on `path` (query strings ignored). Unknown paths get 404.
    void Set(const std::string& path, CCannedResponse response);

    std::vector<CRecordedRequest> Requests() const;
    // Waits up to `timeoutMs` until at least `count` requests have arrived.
    bool WaitForRequests(size_t count, int timeoutMs) const;

    // The bytes a generated body has at `offset`: a fixed pattern that tests can check.
    static std::string GeneratedBytes(uint64_t offset, size_t count);

private:
    void Handle(const void* request, void* response);
    // Pauses unless the server is stopping; false when it is.
    bool PauseUnlessStopping(int milliseconds);

    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_thread;
    int m_nPort = -1;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_cv;
    std::map<std::string, CCannedResponse> m_mapRoutes;  // guarded by m_lock
    std::vector<CRecordedRequest> m_vecRequests;         // guarded by m_lock
    bool m_bStopping = false;                            // guarded by m_lock
};

}  // namespace qitest
