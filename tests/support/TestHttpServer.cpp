#include "tests/support/TestHttpServer.h"

#include <httplib.h>
#include <strings.h>

#include <algorithm>
#include <chrono>

namespace qitest {

namespace {

// Binds `server` to a free port of 127.0.0.1 and runs it on `thread`; the port, or -1.
int ListenInBackground(httplib::Server& server, std::thread& thread) {
    // Short keep-alive so that stopping never waits long on an idle connection.
    server.set_keep_alive_timeout(1);
    int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return -1;
    thread = std::thread([&server] { server.listen_after_bind(); });
    // Stopping a server that has not entered its accept loop yet would not stop it.
    for (int i = 0; i < 5000 && !server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return server.is_running() ? port : -1;
}

}  // namespace

std::vector<std::string> CRecordedRequest::HeaderValues(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& header : headers)
        if (strcasecmp(header.first.c_str(), name.c_str()) == 0)
            values.push_back(header.second);
    return values;
}

std::string CRecordedRequest::Header(const std::string& name) const {
    std::vector<std::string> values = HeaderValues(name);
    return values.empty() ? std::string() : values.front();
}

CCannedResponse CCannedResponse::Status(int status, std::string body) {
    CCannedResponse response;
    response.status = status;
    response.body = std::move(body);
    response.contentType = "text/plain";
    return response;
}

CCannedResponse CCannedResponse::Redirect(const std::string& location, int status) {
    CCannedResponse response;
    response.status = status;
    response.headers.emplace_back("Location", location);
    return response;
}

std::string CTestHttpServer::GeneratedBytes(uint64_t offset, size_t count, uint64_t seed) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        uint64_t at = offset + i;
        bytes[i] = static_cast<char>((at * 131 + (at >> 12) + seed * 77) & 0xff);
    }
    return bytes;
}

CTestHttpServer::CTestHttpServer() : m_pServer(std::make_unique<httplib::Server>()) {
    Start();
}

#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
CTestHttpServer::CTestHttpServer(const std::string& certPath, const std::string& keyPath)
    : m_pServer(std::make_unique<httplib::SSLServer>(certPath.c_str(), keyPath.c_str())),
      m_bTls(true) {
    if (m_pServer->is_valid())
        Start();
}
#else
// Built without TLS (the Windows tests' header-only server): never running.
CTestHttpServer::CTestHttpServer(const std::string&, const std::string&)
    : m_pServer(std::make_unique<httplib::Server>()), m_bTls(true) {}
#endif

void CTestHttpServer::Start() {
    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        Handle(&req, &res);
    };
    m_pServer->Get(".*", handler);
    m_pServer->Post(".*", handler);
    m_pServer->Put(".*", handler);
    m_pServer->Delete(".*", handler);
    m_nPort = ListenInBackground(*m_pServer, m_thread);
}

CTestHttpServer::~CTestHttpServer() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bStopping = true;
    }
    m_cv.notify_all();
    m_pServer->stop();
    if (m_thread.joinable())
        m_thread.join();
}

std::string CTestHttpServer::Url(const std::string& path) const {
    return (m_bTls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_nPort) + path;
}

void CTestHttpServer::Set(const std::string& path, CCannedResponse response) {
    SetSequence(path, {std::move(response)});
}

void CTestHttpServer::SetSequence(const std::string& path, std::vector<CCannedResponse> responses) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_mapRoutes[path] = std::move(responses);
    m_mapServed[path] = 0;
}

std::vector<CRecordedRequest> CTestHttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_vecRequests;
}

bool CTestHttpServer::WaitForRequests(size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return m_vecRequests.size() >= count; });
}

bool CTestHttpServer::PauseUnlessStopping(int milliseconds) {
    std::unique_lock<std::mutex> lock(m_lock);
    if (milliseconds > 0)
        m_cv.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return m_bStopping; });
    return !m_bStopping;
}

void CTestHttpServer::Handle(const void* request, void* response) {
    const auto& req = *static_cast<const httplib::Request*>(request);
    auto& res = *static_cast<httplib::Response*>(response);

    CRecordedRequest record;
    record.method = req.method;
    record.path = req.path;
    record.body = req.body;
    for (const auto& header : req.headers)
        record.headers.emplace_back(header.first, header.second);

    CCannedResponse canned;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_vecRequests.push_back(std::move(record));
        auto it = m_mapRoutes.find(req.path);
        if (it != m_mapRoutes.end() && !it->second.empty()) {
            size_t& served = m_mapServed[req.path];
            canned = it->second[std::min(served, it->second.size() - 1)];
            ++served;
            found = true;
        }
    }
    m_cv.notify_all();
    if (!found)
        canned = CCannedResponse::Status(404, "not found");

    res.status = canned.status;
    for (const auto& header : canned.headers)
        res.set_header(header.first, header.second);
    if (!canned.etag.empty())
        res.set_header("ETag", canned.etag);
    if (!canned.lastModified.empty())
        res.set_header("Last-Modified", canned.lastModified);

    // cpp-httplib would answer a Range itself, even on a server that should not offer
    // ranges; this server decides (the request object is the server's own, not const).
    const_cast<httplib::Request&>(req).ranges.clear();
    const uint64_t fullSize = canned.generatedSize > 0 ? canned.generatedSize : canned.body.size();
    uint64_t start = 0;
    if (canned.acceptRanges) {
        res.set_header("Accept-Ranges", "bytes");
        const std::string range = req.get_header_value("Range");
        const std::string ifRange = req.get_header_value("If-Range");
        const bool sameFile = ifRange.empty() || (!canned.etag.empty() && ifRange == canned.etag) ||
                              (!canned.lastModified.empty() && ifRange == canned.lastModified);
        if (canned.status == 200 && sameFile && range.rfind("bytes=", 0) == 0 &&
            range.find(',') == std::string::npos && range.back() == '-') {
            start = std::strtoull(range.c_str() + 6, nullptr, 10);
            if (start >= fullSize) {
                res.status = 416;
                res.set_header("Content-Range", "bytes */" + std::to_string(fullSize));
                res.set_content("", "text/plain");
                return;
            }
            res.status = 206;
            res.set_header("Content-Range", "bytes " + std::to_string(start) + "-" +
                                                std::to_string(fullSize - 1) + "/" +
                                                std::to_string(fullSize));
        }
    }

    const bool plain = canned.generatedSize == 0 && !canned.chunked && canned.pieceSize == 0 &&
                       canned.cutAfter == UINT64_MAX && canned.silentAfter == UINT64_MAX &&
                       start == 0;
    if (plain) {
        m_nBodyBytes += canned.body.size();
        res.set_content(canned.body, canned.contentType.c_str());
        return;
    }

    // Streamed answers: the body comes from a provider that may pause between pieces
    // and may stop early, which drops the connection.
    struct Stream {
        CCannedResponse canned;
        uint64_t size;
    };
    auto stream = std::make_shared<Stream>();
    stream->canned = canned;
    stream->size = fullSize - start;
    const size_t piece = canned.pieceSize > 0 ? canned.pieceSize : static_cast<size_t>(256 * 1024);

    // `offset` counts in the answer's body; the file's offset is `start` further on.
    auto produce = [this, stream, piece, start](uint64_t offset, httplib::DataSink& sink) {
        const CCannedResponse& c = stream->canned;
        const uint64_t at = start + offset;
        if (at >= c.cutAfter)
            return false;  // break off: the connection is dropped
        if (at >= c.silentAfter) {
            PauseUnlessStopping(600000);  // a line that died without a reset
            return false;
        }
        if (c.pieceDelayMs > 0 && !PauseUnlessStopping(c.pieceDelayMs))
            return false;
        if (!PauseUnlessStopping(0))
            return false;
        uint64_t end =
            std::min<uint64_t>({start + stream->size, at + piece, c.cutAfter, c.silentAfter});
        size_t count = static_cast<size_t>(end - at);
        std::string bytes = c.generatedSize > 0 ? GeneratedBytes(at, count, c.patternSeed)
                                                : c.body.substr(static_cast<size_t>(at), count);
        m_nBodyBytes += bytes.size();
        return sink.write(bytes.data(), bytes.size());
    };

    if (canned.chunked) {
        res.set_chunked_content_provider(
            canned.contentType.c_str(), [stream, produce](size_t offset, httplib::DataSink& sink) {
                if (offset >= stream->size && offset < stream->canned.cutAfter) {
                    sink.done();
                    return true;
                }
                return produce(offset, sink);
            });
    } else {
        res.set_content_provider(static_cast<size_t>(stream->size), canned.contentType.c_str(),
                                 [produce](size_t offset, size_t, httplib::DataSink& sink) {
                                     return produce(offset, sink);
                                 });
    }
}

CTestHttpProxy::CTestHttpProxy() : m_pServer(std::make_unique<httplib::Server>()) {
    m_pServer->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        // A proxy request names the whole URL: "GET http://host:port/path HTTP/1.1".
        const std::string& target = req.target;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_vecTargets.push_back(target);
        }
        if (target.rfind("http://", 0) != 0) {
            res.status = 400;
            res.set_content("not a proxy request", "text/plain");
            return;
        }
        const size_t slash = target.find('/', 7);
        const std::string origin = slash == std::string::npos ? target : target.substr(0, slash);
        const std::string rest = slash == std::string::npos ? "/" : target.substr(slash);
        httplib::Client client(origin);
        client.set_connection_timeout(5);
        client.set_read_timeout(30);
        httplib::Headers headers;
        for (const auto& header : req.headers) {
            if (strcasecmp(header.first.c_str(), "Host") != 0 &&
                strcasecmp(header.first.c_str(), "Proxy-Connection") != 0 &&
                header.first.rfind("REMOTE_", 0) != 0 && header.first.rfind("LOCAL_", 0) != 0)
                headers.emplace(header.first, header.second);
        }
        httplib::Result answer = client.Get(rest, headers);
        if (!answer) {
            res.status = 502;
            res.set_content("bad gateway", "text/plain");
            return;
        }
        res.status = answer->status;
        for (const auto& header : answer->headers) {
            if (strcasecmp(header.first.c_str(), "Content-Length") != 0 &&
                strcasecmp(header.first.c_str(), "Transfer-Encoding") != 0 &&
                strcasecmp(header.first.c_str(), "Connection") != 0 &&
                strcasecmp(header.first.c_str(), "Keep-Alive") != 0)
                res.set_header(header.first, header.second);
        }
        res.set_header("Via", "1.1 qitest-proxy");
        res.set_content(answer->body, answer->get_header_value("Content-Type").c_str());
    });
    m_nPort = ListenInBackground(*m_pServer, m_thread);
}

CTestHttpProxy::~CTestHttpProxy() {
    m_pServer->stop();
    if (m_thread.joinable())
        m_thread.join();
}

std::string CTestHttpProxy::Url() const {
    return "http://127.0.0.1:" + std::to_string(m_nPort);
}

std::vector<std::string> CTestHttpProxy::Targets() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_vecTargets;
}

}  // namespace qitest
