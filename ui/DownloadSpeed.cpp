#include "ui/DownloadSpeed.h"

#include <cstdio>

namespace {

std::wstring Fill(std::wstring text, const wchar_t* slot, int64_t value) {
    const size_t at = text.find(slot);
    if (at != std::wstring::npos)
        text.replace(at, 3, std::to_wstring(value));
    return text;
}

}  // namespace

std::wstring FormatDownloadSpeed(double bytesPerSecond, int64_t secondsLeft,
                                 const std::function<std::wstring(const wchar_t*)>& translate) {
    wchar_t speed[32];
    const double kib = bytesPerSecond / 1024;
    if (kib < 1024)
        std::swprintf(speed, 32, L"%.0f KB/s", kib);
    else
        std::swprintf(speed, 32, L"%.1f MB/s", kib / 1024);
    std::wstring left;
    if (secondsLeft < 60) {
        left = Fill(translate(L"剩余 {n} 秒"), L"{n}", secondsLeft);
    } else if (secondsLeft < 3600) {
        left = Fill(Fill(translate(L"剩余 {n} 分 {m} 秒"), L"{n}", secondsLeft / 60), L"{m}",
                    secondsLeft % 60);
    } else {
        left = Fill(Fill(translate(L"剩余 {n} 小时 {m} 分"), L"{n}", secondsLeft / 3600), L"{m}",
                    secondsLeft % 3600 / 60);
    }
    return std::wstring(speed) + L" · " + left;
}
