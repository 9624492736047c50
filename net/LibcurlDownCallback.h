#pragma once
// Progress listener of ClusterCurl downloads and uploads. Called on the transferring
// thread; a listener that touches the UI must post to the UI thread. The client never
// deletes a listener, hence no virtual destructor.

#include <cstdint>

// One progress report of a download, in bytes of the file (an error page's body is never
// counted). `done` never goes back, also when a retry starts the body over: the most
// reached so far stands until the new attempt passes it.
struct CDownloadProgress {
    int taskId = 0;
    int64_t done = 0;            // bytes of the file received (or kept from before)
    int64_t total = 0;           // the file's size; 0 while unknown
    double bytesPerSecond = -1;  // smoothed over about 3 s; < 0 until about 1 s of data

    // Seconds until `total` at that speed, rounded up; -1 when the size or speed is unknown.
    int64_t SecondsLeft() const {
        if (total <= 0 || bytesPerSecond <= 0)
            return -1;
        const double left = static_cast<double>(total - (done < total ? done : total));
        const auto seconds = static_cast<int64_t>(left / bytesPerSecond);
        return static_cast<double>(seconds) * bytesPerSecond < left ? seconds + 1 : seconds;
    }
};

class CLibcurlDownCallback {
public:
    // `type` is 1 (download progress); `total` is 0 while the size is unknown. At most once
    // a second.
    virtual void OnDownloadProgress(int type, int taskId, double total, double now) = 0;
    virtual void OnUploadProgress(int taskId, double total, double now) = 0;
    // The same report with the speed, right after each OnDownloadProgress.
    virtual void OnDownloadStats(const CDownloadProgress& /*progress*/) {}

protected:
    ~CLibcurlDownCallback() = default;
};
