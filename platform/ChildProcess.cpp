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

std::wstring QuoteCommandArgument(std::wstring_view arg) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

std::wstring CommandLineArgument(std::wstring_view arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring_view::npos)
        return std::wstring(arg);
    return QuoteCommandArgument(arg);
}

bool MayStandQuoted(std::wstring_view path) {
    for (wchar_t c : path)
        if (c == L'"' || c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return false;
    return true;
}

bool ChildProcess::IsValid() const {
    return m_impl != nullptr;
}

bool SpawnProcess(const SpawnOptions& options, ChildProcess& child, int& error,
                  SpawnFailure* failure) {
    error = 0;
    SpawnFailure why = SpawnFailure::Start;
    const bool started = StartChild(options, child, error, why);
    if (failure != nullptr)
        *failure = started ? SpawnFailure::None : why;
    return started;
}

}  // namespace platform
