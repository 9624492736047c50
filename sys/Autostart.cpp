#include "sys/Autostart.h"

#include "sys/RegSettings.h"

namespace {
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
}

bool SetAutoStart(const std::wstring& name, const std::wstring& command) {
    CRegSettings run(platform::HKEY_CURRENT_USER, kRunKey, true, true);
    return run.WriteString(name.c_str(), command.c_str());
}

bool IsAutoStart(const std::wstring& name, const std::wstring& command) {
    CRegSettings run(platform::HKEY_CURRENT_USER, kRunKey, true, true);
    wchar_t stored[CRegSettings::kReadStringChars];
    run.ReadString(name.c_str(), stored);
    return run.IsOpen() && command == stored;
}

bool RemoveAutoStart(const std::wstring& name) {
    CRegSettings run(platform::HKEY_CURRENT_USER, kRunKey, true, false);
    if (!run.IsOpen())
        return false;
    run.DeleteValue(name.c_str());
    return true;
}
