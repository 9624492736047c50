#include "tools/demo/DemoServer.h"

#include <fcntl.h>
#include <httplib.h>
#include <json/json.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/File.h"
#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoPackage.h"
#include "tools/demo/DemoReport.h"

namespace qidemo {

namespace {

constexpr size_t kPieceSize = 64 * 1024;
constexpr size_t kMaxReportSize = 1024 * 1024;

std::string JsonAnswer(int code, const std::string& message) {
    Json::Value answer(Json::objectValue);
    answer["code"] = code;
    answer["message"] = message;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, answer) + "\n";
}

// httplib routes by regular expression; the paths hold dots.
std::string ExactPattern(const std::string& path) {
    std::string pattern;
    for (char c : path) {
        if (std::strchr(".^$|()[]{}*+?\\", c) != nullptr)
            pattern.push_back('\\');
        pattern.push_back(c);
    }
    return pattern;
}

// What a rejected body looked like, short and printable.
std::string Excerpt(const std::string& body) {
    std::string text;
    for (char c : body.substr(0, 60))
        text.push_back(c >= 0x20 && c < 0x7f ? c : '.');
    return body.size() > 60 ? text + "..." : text;
}

}  // namespace

CDemoServer::CDemoServer(ServerOptions options, OutputFn output)
    : m_options(std::move(options)),
      m_fnOutput(std::move(output)),
      m_pServer(std::make_unique<httplib::Server>()) {}

CDemoServer::~CDemoServer() {
    Stop();
}

bool CDemoServer::Start(std::string& error) {
    if (m_nPort > 0) {
        error = "the server runs already";
        return false;
    }
    httplib::Server& server = *m_pServer;
    server.Get("/", [this](const httplib::Request&, httplib::Response& res) { ServeIndex(res); });
    for (const CDemoFile& file : DemoFiles()) {
        server.Get(ExactPattern(file.urlPath),
                   [this, &file](const httplib::Request&, httplib::Response& res) {
                       ServeFile(file, res);
                   });
        // The publisher's signature beside each file, when the deployment was signed.
        server.Get(ExactPattern(std::string(file.urlPath) + ".minisig"),
                   [this, &file](const httplib::Request&, httplib::Response& res) {
                       ServeSignature(file, res);
                   });
    }
    server.Post(
        ExactPattern(kReportPath),
        [this](const httplib::Request& req, httplib::Response& res) { ReceiveReport(req, res); });
    server.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (res.body.empty())
            res.set_content("no " + req.method + " " + req.path + " here\n", "text/plain");
    });
    if (m_options.logRequests) {
        server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
            Output(req.method + " " + req.path + " -> " + std::to_string(res.status) + "\n");
        });
    }
    server.set_payload_max_length(kMaxReportSize);
    // A short keep-alive, so that stopping never waits long on an idle connection.
    server.set_keep_alive_timeout(1);

    int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        error = std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno);
        return false;
    }
    m_thread = std::thread([this] { m_pServer->listen_after_bind(); });
    // Stopping a server that has not entered its accept loop yet would not stop it.
    for (int i = 0; i < 5000 && !server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!server.is_running()) {
        Stop();
        error = "the server did not start accepting";
        return false;
    }
    m_nPort = port;
    return true;
}

void CDemoServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_stopLock);
        m_bStopping = true;
    }
    m_stopCv.notify_all();
    m_pServer->stop();
    if (m_thread.joinable())
        m_thread.join();
}

bool CDemoServer::IsRunning() const {
    return m_nPort > 0 && m_pServer->is_running();
}

std::string CDemoServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_nPort);
}

bool CDemoServer::PauseUnlessStopping(int milliseconds) {
    std::unique_lock<std::mutex> lock(m_stopLock);
    if (milliseconds > 0)
        m_stopCv.wait_for(lock, std::chrono::milliseconds(milliseconds),
                          [this] { return m_bStopping; });
    return !m_bStopping;
}

void CDemoServer::Output(const std::string& lines) {
    std::lock_guard<std::mutex> lock(m_outputLock);
    if (m_fnOutput)
        m_fnOutput(lines);
}

void CDemoServer::ServeIndex(httplib::Response& res) const {
    std::string text = std::string("Quillora demo deployment\n\n");
    for (const CDemoFile& file : DemoFiles()) {
        struct stat st {};
        std::string path = m_options.root + file.urlPath;
        bool present = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        text += std::string("GET  ") + file.urlPath +
                (present ? "  (" + std::to_string(st.st_size) + " bytes)\n" : "  (missing)\n");
    }
    text += std::string("POST ") + kReportPath + "  (info=<Base64 of a JSON object>)\n";
    res.set_content(text, "text/plain; charset=utf-8");
}

void CDemoServer::ServeFile(const CDemoFile& file, httplib::Response& res) {
    if (m_options.packStatus > 0 && file.kind == EDemoFileKind::SetupPackage) {
        res.status = m_options.packStatus;
        res.set_content("the demo server answers the package with " +
                            std::to_string(m_options.packStatus) + "\n",
                        "text/plain");
        return;
    }
    const std::string path = m_options.root + file.urlPath;
    // Opened per request: a package rebuilt meanwhile replaces the file, and this transfer
    // keeps reading the one it started with.
    int openError = 0;
    auto fd = std::make_shared<platform::FileDescriptor>(
        platform::OpenFile(path, O_RDONLY, 0, openError));
    struct stat st {};
    if (fd->Get() < 0 || ::fstat(fd->Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        res.status = 404;
        res.set_content(path + " is missing (build the qi-demo target)\n", "text/plain");
        return;
    }
    const int slowMs = m_options.slowMs;
    const size_t piece = slowMs > 0 ? kSlowPieceSize : kPieceSize;
    res.set_content_provider(
        static_cast<size_t>(st.st_size), "application/octet-stream",
        [this, fd, slowMs, piece](size_t offset, size_t length, httplib::DataSink& sink) {
            if (!PauseUnlessStopping(offset > 0 ? slowMs : 0))
                return false;  // the connection is dropped
            std::string bytes(std::min(length, piece), '\0');
            ssize_t n = ::pread(fd->Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
            if (n <= 0)
                return false;
            return sink.write(bytes.data(), static_cast<size_t>(n));
        });
}

void CDemoServer::ServeSignature(const CDemoFile& file, httplib::Response& res) {
    const std::string path = m_options.root + file.urlPath + ".minisig";
    std::string text;
    if (platform::ReadWholeFile(path, text) != 0) {
        res.status = 404;
        res.set_content(path + " is missing (an unsigned deployment)\n", "text/plain");
        return;
    }
    res.set_content(text, "text/plain");
}

void CDemoServer::ReceiveReport(const httplib::Request& req, httplib::Response& res) {
    // The raw body: httplib's form parsing would turn every '+' of the Base64 into a blank.
    std::string json;
    std::string error;
    if (!DecodeReportBody(req.body, json, error)) {
        res.status = 400;
        res.set_content(JsonAnswer(400, error), "application/json");
        Output("== rejected report from " + req.remote_addr + ": " + error + " (body: \"" +
               Excerpt(req.body) + "\")\n");
        return;
    }
    if (json.empty() || json.back() != '\n')
        json.push_back('\n');
    res.set_content(JsonAnswer(0, "ok"), "application/json");
    Output("== installation report from " + req.remote_addr + " ==\n" + json +
           "== end of report ==\n");
}

}  // namespace qidemo
