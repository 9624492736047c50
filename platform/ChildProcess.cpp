#include "platform/ChildProcess.h"

namespace platform {

std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
    std::vector<std::wstring> args;
    size_t i = 0;
    const size_t n = line.size();
    auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    if (n == 0)
        return args;
    // The program name has rules of its own: a path holds backslashes and no quotes.
    if (line[0] == L'"') {
        size_t close = line.find(L'"', 1);
        args.emplace_back(line.substr(1, close == std::wstring_view::npos ? n - 1 : close - 1));
        i = close == std::wstring_view::npos ? n : close + 1;
    } else {
        while (i < n && !blank(line[i]))
            ++i;
        args.emplace_back(line.substr(0, i));
    }
    for (;;) {
        while (i < n && blank(line[i]))
            ++i;
        if (i >= n)
            break;
        std::wstring arg;
        bool quoted = false;
        while (i < n && (quoted || !blank(line[i]))) {
            if (line[i] == L'\\') {
                size_t slashes = 0;
                while (i < n && line[i] == L'\\')
                    ++slashes, ++i;
                if (i < n && line[i] == L'"') {
                    arg.append(slashes / 2, L'\\');
                    if (slashes % 2 == 1) {
                        arg += L'"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, L'\\');
                }
            } else if (line[i] == L'"') {
                if (quoted && i + 1 < n && line[i + 1] == L'"') {
                    arg += L'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

}  // namespace platform
