// Shell links through the shell's link object and its file-persistence interface.
#include "platform/ShellLinks.h"

#include <vector>

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace platform {

const wchar_t kShellLinkExtension[] = L".lnk";
const wchar_t kQuickLaunchFolder[] = L"Microsoft/Internet Explorer/Quick Launch";

namespace {

// COM for the calling thread while the object lives, unless the thread has it already (in
// either apartment: the link object lives in both).
class ComScope {
public:
    ComScope() : m_initialised(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (m_initialised)
            ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool m_initialised;
};

// Owns one interface pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (m_p)
            m_p->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return m_p; }
    T** Out() { return &m_p; }
    void** OutVoid() { return reinterpret_cast<void**>(&m_p); }

private:
    T* m_p = nullptr;
};

// The link object and its file interface; false when either cannot be had.
bool CreateLink(ComPtr<IShellLinkW>& link, ComPtr<IPersistFile>& file) {
    return SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IShellLinkW, link.OutVoid())) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.OutVoid()));
}

}  // namespace

bool SaveShellLink(const std::wstring& path, const ShellLink& info) {
    if (info.target.empty() || path.empty())
        return false;
    ComScope com;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (!CreateLink(link, file))
        return false;
    // Each only when given, stopping at the first failure.
    if (FAILED(link->SetPath(info.target.c_str())))
        return false;
    if (!info.arguments.empty() && FAILED(link->SetArguments(info.arguments.c_str())))
        return false;
    if (!info.iconFile.empty() &&
        FAILED(link->SetIconLocation(info.iconFile.c_str(), info.iconIndex))) {
        return false;
    }
    if (!info.workingDirectory.empty() &&
        FAILED(link->SetWorkingDirectory(info.workingDirectory.c_str()))) {
        return false;
    }
    if (!info.description.empty() && FAILED(link->SetDescription(info.description.c_str())))
        return false;
    if (info.hotkey != 0 && FAILED(link->SetHotkey(info.hotkey)))
        return false;
    if (info.showCommand != 0 && FAILED(link->SetShowCmd(info.showCommand)))
        return false;
    return SUCCEEDED(file->Save(path.c_str(), TRUE));
}

bool LoadShellLink(const std::wstring& path, ShellLink& info) {
    ComScope com;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (path.empty() || !CreateLink(link, file) || FAILED(file->Load(path.c_str(), STGM_READ)))
        return false;
    std::vector<wchar_t> buffer(INFOTIPSIZE + 1);
    const int size = static_cast<int>(buffer.size());
    // The text a getter left in the buffer (cleared first: not every getter writes on failure).
    auto text = [&](auto getter) {
        buffer[0] = L'\0';
        return getter(buffer.data(), size) == S_OK ? std::wstring(buffer.data()) : std::wstring();
    };
    ShellLink found;
    found.target =
        text([&](wchar_t* b, int n) { return link->GetPath(b, n, nullptr, SLGP_RAWPATH); });
    found.arguments = text([&](wchar_t* b, int n) { return link->GetArguments(b, n); });
    found.workingDirectory =
        text([&](wchar_t* b, int n) { return link->GetWorkingDirectory(b, n); });
    found.description = text([&](wchar_t* b, int n) { return link->GetDescription(b, n); });
    int iconIndex = 0;
    found.iconFile =
        text([&](wchar_t* b, int n) { return link->GetIconLocation(b, n, &iconIndex); });
    found.iconIndex = iconIndex;
    WORD hotkey = 0;
    if (SUCCEEDED(link->GetHotkey(&hotkey)))
        found.hotkey = hotkey;
    int showCommand = 0;
    if (SUCCEEDED(link->GetShowCmd(&showCommand)))
        found.showCommand = showCommand;
    info = found;
    return true;
}

}  // namespace platform
