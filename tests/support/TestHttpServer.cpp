#include "tests/support/TestHttpServer.h"

#include <httplib.h>
#include <strings.h>

#include <algorithm>
#include <chrono>

namespace qitest {

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

std::string CTestHttpServer::GeneratedBytes(uint64_t offset, size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) {
        uint64_t at = offset + i;
        bytes[i] = static_cast<char>((at * 131 + (at >> 12)) & 0xff);
    }
    return bytes;
}

CTestHttpServer::CTestHttpServer() : m_pServer(std::make_unique<httplib::Server>()) {
    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        Handle(&req, &res);
    };
    m_pServer->Get(".*", handler);
    m_pServer->Post(".*", handler);
    m_pServer->Put(".*", handler);
    m_pServer->Delete(".*", handler);
    // Short keep-alive so that stopping never waits long on an idle connection.
    m_pServer->set_keep_alive_timeout(1);
    int port = m_pServer->bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return;
    m_thread = std::thread([this] { m_pServer->listen_after_bind(); });
    // Stopping a server that has not entered its accept loop yet would not stop it.
    for (int i = 0; i < 5000 && !m_pServer->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m_pServer->is_running())
        m_nPort = port;
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
    return "http://127.0.0.1:" + std::to_string(m_nPort) + path;
}

void CTestHttpServer::Set(const std::string& path, CCannedResponse response) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_mapRoutes[path] = std::move(response);
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
        if (it != m_mapRoutes.end()) {
            canned = it->second;
            found = true;
        }
    }
    m_cv.notify_all();
    if (!found)
        canned = CCannedResponse::Status(404, "not found");

    res.status = canned.status;
    for (const auto& header : canned.headers)
        res.set_header(header.first, header.second);

    const bool plain = canned.generatedSize == 0 && !canned.chunked && canned.pieceSize == 0 &&
                       canned.cutAfter == UINT64_MAX;
    if (plain) {
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
    stream->size = canned.generatedSize > 0 ? canned.generatedSize : canned.body.size();
    const size_t piece = canned.pieceSize > 0 ? canned.pieceSize : static_cast<size_t>(256 * 1024);

    auto produce = [this, stream, piece](uint64_t offset, httplib::DataSink& sink) {
        const CCannedResponse& c = stream->canned;
        if (offset >= c.cutAfter)
            return false;  // break off: the connection is dropped
        if (c.pieceDelayMs > 0 && !PauseUnlessStopping(c.pieceDelayMs))
            return false;
        if (!PauseUnlessStopping(0))
            return false;
        uint64_t end = std::min<uint64_t>({stream->size, offset + piece, c.cutAfter});
        size_t count = static_cast<size_t>(end - offset);
        std::string bytes = c.generatedSize > 0 ? GeneratedBytes(offset, count)
                                                : c.body.substr(static_cast<size_t>(offset), count);
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

}  // namespace qitest
