#pragma once
// The line the progress page shows under the percentage while a file downloads.

#include <cstdint>
#include <functional>
#include <string>

// "12.3 MB/s · 剩余 8 秒": the speed (KB/s below one MB/s, 1024-based like the file sizes
// Windows shows) and the time left in seconds, minutes and seconds, or hours and minutes.
// `translate` gives a text's translation; the time templates hold "{n}" (and "{m}") where
// the numbers go, so a translation may put them anywhere and cannot inject a format.
std::wstring FormatDownloadSpeed(double bytesPerSecond, int64_t secondsLeft,
                                 const std::function<std::wstring(const wchar_t*)>& translate);
