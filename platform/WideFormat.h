#pragma once
// Wide formatting with the Windows meaning of the conversions: %s takes a wide string,
// %hs and %S a narrow one, %c a wide character, %I64d a 64-bit integer.
//
// Formats are checked against their arguments at compile time: FormatW and DebugLog take
// a WideFormatString, which only a literal whose conversions match the arguments' types
// can become. A mismatch stops the build at the call (naming FormatDoesNotMatchArguments).

#include <cstdarg>
#include <cstddef>
#include <string>
#include <type_traits>

namespace platform {

namespace format_check {

enum class Kind { Int, Int64, Double, LongDouble, WideText, NarrowText, Pointer, Null, Other };

template <typename T>
consteval Kind KindOf() {
    using D = std::remove_cv_t<std::decay_t<T>>;
    if constexpr (std::is_same_v<D, std::nullptr_t>) {
        return Kind::Null;
    } else if constexpr (std::is_same_v<D, const wchar_t*> || std::is_same_v<D, wchar_t*>) {
        return Kind::WideText;
    } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
        return Kind::NarrowText;
    } else if constexpr (std::is_pointer_v<D>) {
        return Kind::Pointer;
    } else if constexpr (std::is_integral_v<D> || std::is_enum_v<D>) {
        return sizeof(D) <= sizeof(int) ? Kind::Int : sizeof(D) == 8 ? Kind::Int64 : Kind::Other;
    } else if constexpr (std::is_same_v<D, float> || std::is_same_v<D, double>) {
        return Kind::Double;
    } else if constexpr (std::is_same_v<D, long double>) {
        return Kind::LongDouble;
    } else {
        return Kind::Other;
    }
}

// Not constexpr: reaching it in a constant evaluation is the compile error.
void FormatDoesNotMatchArguments();

constexpr bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

constexpr bool Contains(const wchar_t* set, wchar_t c) {
    for (; *set; ++set)
        if (*set == c)
            return true;
    return false;
}

// True when every conversion of `f` takes the next of `kinds` and all are used.
consteval bool Matches(const wchar_t* f, const Kind* kinds, size_t count) {
    size_t next = 0;
    auto take = [&](auto accepts) {
        if (next >= count || !accepts(kinds[next]))
            return false;
        ++next;
        return true;
    };
    auto isInt = [](Kind k) { return k == Kind::Int; };
    while (*f) {
        if (*f++ != L'%')
            continue;
        if (*f == L'%') {
            ++f;
            continue;
        }
        while (Contains(L"-+ #0", *f))
            ++f;
        // Width and precision: digits, or '*' taking an int.
        auto widthOrPrecision = [&]() {
            if (*f != L'*') {
                while (IsDigit(*f))
                    ++f;
                return true;
            }
            ++f;
            return take(isInt);
        };
        if (!widthOrPrecision())
            return false;
        if (*f == L'.') {
            ++f;
            if (!widthOrPrecision())
                return false;
        }
        // Length: none, h, hh, l, ll, L, w, I32, I64, z, j, t.
        wchar_t length = 0;
        if (f[0] == L'I' && f[1] == L'6' && f[2] == L'4') {
            length = L'q';
            f += 3;
        } else if (f[0] == L'I' && f[1] == L'3' && f[2] == L'2') {
            f += 3;
        } else if ((f[0] == L'h' && f[1] == L'h') || (f[0] == L'l' && f[1] == L'l')) {
            length = f[0] == L'l' ? L'q' : L'h';
            f += 2;
        } else if (Contains(L"hlLwzjt", *f)) {
            length = *f++;
        }
        wchar_t conv = *f;
        if (conv == 0)
            return false;
        ++f;
        bool wide = false;
        switch (conv) {
            case L'd':
            case L'i':
            case L'u':
            case L'x':
            case L'X':
            case L'o':
                if (length == 0 || length == L'h') {
                    if (!take(isInt))
                        return false;
                } else if (length == L'l') {
                    // long: 64 bits on Linux, 32 on Windows.
                    if (!take([](Kind k) {
                            return k == (sizeof(long) == 8 ? Kind::Int64 : Kind::Int);
                        }))
                        return false;
                } else if (length == L'q' || length == L'z' || length == L'j' || length == L't') {
                    if (!take([](Kind k) { return k == Kind::Int64; }))
                        return false;
                } else {
                    return false;
                }
                break;
            case L'c':
            case L'C':
                if (!take(isInt))
                    return false;
                break;
            case L's':
            case L'S':
                // %s is wide unless 'h'; %S the opposite width unless 'l' or 'w'.
                wide = conv == L's' ? length != L'h' : (length == L'l' || length == L'w');
                if (!take([wide](Kind k) {
                        return k == Kind::Null || k == (wide ? Kind::WideText : Kind::NarrowText);
                    }))
                    return false;
                break;
            case L'f':
            case L'F':
            case L'e':
            case L'E':
            case L'g':
            case L'G':
            case L'a':
            case L'A':
                if (!take([length](Kind k) {
                        return k == (length == L'L' ? Kind::LongDouble : Kind::Double);
                    }))
                    return false;
                break;
            case L'p':
                if (!take([](Kind k) {
                        return k == Kind::Pointer || k == Kind::WideText || k == Kind::NarrowText ||
                               k == Kind::Null;
                    }))
                    return false;
                break;
            default:
                return false;  // %n and anything unknown
        }
    }
    return next == count;
}

// Whether `f` suits arguments of the types Args.
template <typename... Args>
consteval bool Accepts(const wchar_t* f) {
    constexpr Kind kinds[] = {KindOf<Args>()..., Kind::Other};
    return Matches(f, kinds, sizeof...(Args));
}

}  // namespace format_check

// A wide format literal checked against the types of the arguments that follow it.
template <typename... Args>
class WideFormatString {
public:
    template <size_t N>
    consteval WideFormatString(const wchar_t (&text)[N]) : m_pText(text) {
        if (!format_check::Accepts<Args...>(text))
            format_check::FormatDoesNotMatchArguments();
    }
    const wchar_t* Text() const { return m_pText; }

private:
    const wchar_t* m_pText;
};

// The same format for glibc's wide printf family (%s -> %ls, %hs -> %s, ...).
std::wstring TranslateWideFormat(const wchar_t* format);

// Formats into a string of any length. An argument the process's encoding cannot convert
// (a narrow %hs text that is not valid there) gives an empty string and a log line.
std::wstring VFormatW(const wchar_t* format, va_list args);
// Only for FormatW below, which has checked the format.
std::wstring FormatWUnchecked(const wchar_t* format, ...);

template <typename... Args>
std::wstring FormatW(WideFormatString<std::type_identity_t<Args>...> format, Args... args) {
    return FormatWUnchecked(format.Text(), args...);
}

}  // namespace platform
