// Shell links as freedesktop desktop entries.
#include "platform/ShellLinks.h"

#include <vector>

#include "platform/ChildProcess.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace platform {

const wchar_t kShellLinkExtension[] = L".desktop";
const wchar_t kQuickLaunchFolder[] = L"Quick Launch";

namespace {

// A value of a string key: backslash, line breaks, tabs and a leading blank escaped.
std::wstring EscapeValue(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const wchar_t* escape = c == L'\\'            ? L"\\\\"
                                : c == L'\n'          ? L"\\n"
                                : c == L'\t'          ? L"\\t"
                                : c == L'\r'          ? L"\\r"
                                : c == L' ' && i == 0 ? L"\\s"
                                                      : nullptr;
        if (escape != nullptr)
            out += escape;
        else
            out.push_back(c);
    }
    return out;
}

std::wstring UnescapeValue(std::wstring_view text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const wchar_t e = text[++i];
        out.push_back(e == L's'   ? L' '
                      : e == L'n' ? L'\n'
                      : e == L't' ? L'\t'
                      : e == L'r' ? L'\r'
                                  : e);
    }
    return out;
}

// One argument of Exec, quoted when it holds a reserved character; '%' doubled so that it is
// not taken for a field code.
std::wstring ExecArgument(const std::wstring& arg) {
    const std::wstring reserved = L" \t\n\"'\\><~|&;$*?#()`";
    bool quote = arg.empty() || arg.find_first_of(reserved) != std::wstring::npos;
    std::wstring out = quote ? L"\"" : L"";
    for (wchar_t c : arg) {
        if (quote && (c == L'"' || c == L'`' || c == L'$' || c == L'\\'))
            out.push_back(L'\\');
        if (c == L'%')
            out.push_back(L'%');
        out.push_back(c);
    }
    if (quote)
        out.push_back(L'"');
    return out;
}

// The arguments of an Exec value as ExecArgument wrote them.
std::vector<std::wstring> SplitExec(std::wstring_view exec) {
    std::vector<std::wstring> args;
    std::wstring arg;
    bool inArg = false;
    bool quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        wchar_t c = exec[i];
        if (!quoted && c == L' ') {
            if (inArg)
                args.push_back(std::move(arg));
            arg.clear();
            inArg = false;
            continue;
        }
        inArg = true;
        if (c == L'"') {
            quoted = !quoted;
        } else if (quoted && c == L'\\' && i + 1 < exec.size()) {
            arg.push_back(exec[++i]);
        } else if (c == L'%' && i + 1 < exec.size() && exec[i + 1] == L'%') {
            arg.push_back(exec[++i]);
        } else {
            arg.push_back(c);
        }
    }
    if (inArg)
        args.push_back(std::move(arg));
    return args;
}

}  // namespace

bool SaveShellLink(const std::wstring& path, const ShellLink& link) {
    if (link.target.empty())
        return false;
    // The arguments as a program would receive them: behind a program name, which has rules of
    // its own.
    std::vector<std::wstring> args = SplitCommandLine(L"program " + link.arguments);
    std::wstring exec = ExecArgument(link.target);
    for (size_t i = 1; i < args.size(); ++i)
        exec += L" " + ExecArgument(args[i]);
    std::wstring text = L"[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += L"Name=" + EscapeValue(link.displayName) + L"\n";
    if (!link.description.empty())
        text += L"Comment=" + EscapeValue(link.description) + L"\n";
    text += L"Exec=" + EscapeValue(exec) + L"\n";
    if (!link.workingDirectory.empty())
        text += L"Path=" + EscapeValue(link.workingDirectory) + L"\n";
    if (!link.iconFile.empty())
        text += L"Icon=" + EscapeValue(link.iconFile) + L"\n";
    text += L"Terminal=false\n";

    // Executable: desktops run only launchers marked so.
    ReplaceOptions options;
    options.mode = 0755;
    options.keepExistingMode = false;
    return ReplaceFileAtomically(PathToNarrow(path), WideToUtf8(text), options) == 0;
}

bool LoadShellLink(const std::wstring& path, ShellLink& link) {
    std::string data;
    if (ReadWholeFile(PathToNarrow(path), data) != 0)
        return false;
    std::wstring text = Utf8ToWide(data);
    ShellLink found;
    bool inEntry = false;
    bool hasExec = false;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring_view line = std::wstring_view(text).substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line[0] == L'[') {
            inEntry = line == L"[Desktop Entry]";
            continue;
        }
        size_t equals = line.find(L'=');
        if (!inEntry || equals == std::wstring_view::npos)
            continue;
        std::wstring_view key = line.substr(0, equals);
        std::wstring value = UnescapeValue(line.substr(equals + 1));
        if (key == L"Name") {
            found.displayName = value;
        } else if (key == L"Comment") {
            found.description = value;
        } else if (key == L"Path") {
            found.workingDirectory = value;
        } else if (key == L"Icon") {
            found.iconFile = value;
        } else if (key == L"Exec") {
            std::vector<std::wstring> args = SplitExec(value);
            if (args.empty())
                continue;
            hasExec = true;
            found.target = args[0];
            for (size_t i = 1; i < args.size(); ++i) {
                found.arguments += (i > 1 ? L" " : L"") + CommandLineArgument(args[i]);
            }
        }
    }
    if (!hasExec)
        return false;
    link = found;
    return true;
}

}  // namespace platform
