#pragma once
// Progress listener of ClusterCurl downloads and uploads. Called on the transferring
// thread; a listener that touches the UI must post to the UI thread. The client never
// deletes a listener, hence no virtual destructor.

class CLibcurlDownCallback {
public:
    // `type` is 1 (download progress); `total` is 0 while the size is unknown.
    virtual void OnDownloadProgress(int type, int taskId, double total, double now) = 0;
    virtual void OnUploadProgress(int taskId, double total, double now) = 0;

protected:
    ~CLibcurlDownCallback() = default;
};
