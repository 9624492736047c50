#pragma once
// The demo deployment's web side on 127.0.0.1: the download server for the runtime
// installers and the setup package (files below a root folder, see DemoLayout.h), and the
// statistics endpoint that decodes each installation report and shows it.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace qidemo {

struct CDemoFile;

struct ServerOptions {
    std::string root;    // the folder the files of DemoFiles() lie in
    int slowMs = 0;      // > 0: bodies go out in pieces of kSlowPieceSize, this pause between two
    int packStatus = 0;  // > 0: the setup package is answered with this status instead
    bool logRequests = false;  // one output line per request
};

// Bytes per piece of a slow body: small enough that a package of a few hundred kilobytes
// takes many pieces.
inline constexpr size_t kSlowPieceSize = 16 * 1024;

class CDemoServer {
public:
    // Receives whole lines (each ending in '\n'), one call at a time.
    using OutputFn = std::function<void(const std::string&)>;

    CDemoServer(ServerOptions options, OutputFn output);
    ~CDemoServer();  // stops
    CDemoServer(const CDemoServer&) = delete;
    CDemoServer& operator=(const CDemoServer&) = delete;

    // Listens on 127.0.0.1 at a free port and serves on a thread of its own; false with a
    // sentence in `error` when it cannot.
    bool Start(std::string& error);
    // Cuts slow bodies short, stops listening and joins the server's threads.
    void Stop();

    bool IsRunning() const;
    int Port() const { return m_nPort; }
    std::string BaseUrl() const;  // "http://127.0.0.1:PORT"

private:
    void ServeIndex(httplib::Response& res) const;
    void ServeFile(const CDemoFile& file, httplib::Response& res);
    void ServeSignature(const CDemoFile& file, httplib::Response& res);
    void ReceiveReport(const httplib::Request& req, httplib::Response& res);
    // Pauses unless the server is stopping; false when it is.
    bool PauseUnlessStopping(int milliseconds);
    void Output(const std::string& lines);

    ServerOptions m_options;
    OutputFn m_fnOutput;
    std::mutex m_outputLock;
    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_thread;
    int m_nPort = -1;
    std::mutex m_stopLock;
    std::condition_variable m_stopCv;
    bool m_bStopping = false;  // guarded by m_stopLock
};

}  // namespace qidemo
