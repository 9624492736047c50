#pragma once
// The library's wide string: std::wstring with Format in the Windows wide-printf sense.

#include <cstdarg>
#include <string>

#include "platform/Text.h"
#include "platform/WideFormat.h"

namespace SOUI {

template <class T>
class TStringT : public std::basic_string<T> {
public:
    using std::basic_string<T>::basic_string;
    TStringT() = default;
    TStringT(const std::basic_string<T>& s) : std::basic_string<T>(s) {}
    TStringT(std::basic_string<T>&& s) : std::basic_string<T>(std::move(s)) {}

    // Replaces the content with the formatted text; returns its length.
    int Format(const T* format, ...) {
        static_assert(sizeof(T) == sizeof(wchar_t), "only wide strings format");
        va_list args;
        va_start(args, format);
        this->assign(platform::VFormatW(format, args));
        va_end(args);
        return static_cast<int>(this->size());
    }
    int GetLength() const { return static_cast<int>(this->size()); }
    bool IsEmpty() const { return this->empty(); }
    operator const T*() const { return this->c_str(); }
};

using SStringW = TStringT<wchar_t>;
using SStringT = SStringW;

// Attribute names, keywords and resource names compare without regard to case, the same
// way under every locale.
using platform::EqualsNoCase;

}  // namespace SOUI
