#pragma once
// A real HTTP server for tests, on 127.0.0.1 with a free port, serving canned answers by
// path and recording every request it receives. Each answer may carry any status, come
// with or without Content-Length (chunked), arrive slowly in pieces, break off or go
// silent in the middle of the body, or redirect (also to itself, for redirect loops). It
// may offer byte ranges with a validator (honouring Range and If-Range), answer successive
// requests of one path differently (a sequence), and speak HTTPS with a given certificate.
//
// CTestHttpProxy is a small forwarding HTTP proxy ("GET http://host:port/path") that
// records the targets it forwarded.

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
    uint64_t cutAfter = UINT64_MAX;  // drop the connection at this offset of the body
                                     // (of the whole file, also in a range answer)
    uint64_t patternSeed = 0;        // another seed gives other GeneratedBytes
    bool acceptRanges = false;       // answers "Range: bytes=N-" with 206 (If-Range checked)
    std::string etag;                // sent as ETag when not empty
    std::string lastModified;        // sent as Last-Modified when not empty
    size_t pieceSize = 0;            // > 0: send the body in pieces of this size ...
    int pieceDelayMs = 0;            // ... each after this pause
    // At this offset of the body (as cutAfter), send nothing more but keep the connection
    // until the server stops: a line that died without a reset.
    uint64_t silentAfter = UINT64_MAX;
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

    // HTTPS with the certificate (PEM, with its chain) and key at these paths.
    CTestHttpServer(const std::string& certPath, const std::string& keyPath);

    // The answer to every method on `path` (query strings ignored). Unknown paths get 404.
    void Set(const std::string& path, CCannedResponse response);
    // Successive requests of `path` get these answers in turn; the last one repeats.
    void SetSequence(const std::string& path, std::vector<CCannedResponse> responses);
    // Body bytes sent in all answers so far.
    uint64_t BodyBytesSent() const { return m_nBodyBytes.load(); }

    std::vector<CRecordedRequest> Requests() const;
    // Waits up to `timeoutMs` until at least `count` requests have arrived.
    bool WaitForRequests(size_t count, int timeoutMs) const;

    // The bytes a generated body has at `offset`: a fixed pattern that tests can check.
    static std::string GeneratedBytes(uint64_t offset, size_t count, uint64_t seed = 0);

private:
    void Start();
    void Handle(const void* request, void* response);
    // Pauses unless the server is stopping; false when it is.
    bool PauseUnlessStopping(int milliseconds);

    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_thread;
    int m_nPort = -1;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_cv;
    bool m_bTls = false;
    std::map<std::string, std::vector<CCannedResponse>> m_mapRoutes;  // guarded by m_lock
    std::map<std::string, size_t> m_mapServed;                        // guarded by m_lock
    std::vector<CRecordedRequest> m_vecRequests;                      // guarded by m_lock
    bool m_bStopping = false;                                         // guarded by m_lock
    std::atomic<uint64_t> m_nBodyBytes{0};
};

// A forwarding HTTP proxy on 127.0.0.1 for plain http targets.
class CTestHttpProxy {
public:
    CTestHttpProxy();
    ~CTestHttpProxy();
    CTestHttpProxy(const CTestHttpProxy&) = delete;
    CTestHttpProxy& operator=(const CTestHttpProxy&) = delete;

    bool IsRunning() const { return m_nPort > 0; }
    std::string Url() const;  // "http://127.0.0.1:PORT"
    // The absolute URLs forwarded so far.
    std::vector<std::string> Targets() const;

private:
    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_thread;
    int m_nPort = -1;
    mutable std::mutex m_lock;
    std::vector<std::string> m_vecTargets;  // guarded by m_lock
};

}  // namespace qitest
