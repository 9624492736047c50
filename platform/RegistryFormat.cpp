#include "platform/RegistryFormat.h"

#include <cstdio>

#include "platform/Text.h"

namespace platform::registry {
namespace {

bool IsBlankChar(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r';
}

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && IsBlankChar(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlankChar(s.back()))
        s.remove_suffix(1);
    return s;
}

bool ParseHexNumber(std::wstring_view s, size_t maxDigits, uint32_t& out) {
    if (s.empty() || s.size() > maxDigits)
        return false;
    out = 0;
    for (wchar_t c : s) {
        int d = HexDigit(c);
        if (d < 0)
            return false;
        out = out * 16 + static_cast<uint32_t>(d);
    }
    return true;
}

// Reads a quoted text with the escapes regedit's exports hold (\\ \" \n \r \0) from `s` at
// `pos` (on the opening quote); `pos` ends after the closing quote.
bool ParseQuoted(std::wstring_view s, size_t& pos, std::wstring& out) {
    if (pos >= s.size() || s[pos] != L'"')
        return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        wchar_t c = s[pos];
        if (c == L'"') {
            ++pos;
            return true;
        }
        if (c == L'\\') {
            if (++pos >= s.size())
                return false;
            switch (s[pos]) {
                case L'\\':
                case L'"':
                    c = s[pos];
                    break;
                case L'n':
                    c = L'\n';
                    break;
                case L'r':
                    c = L'\r';
                    break;
                case L'0':
                    c = 0;
                    break;
                default:
                    return false;
            }
        }
        out.push_back(c);
    }
    return false;
}

bool ParseHexBytes(std::wstring_view body, std::vector<uint8_t>& out) {
    out.clear();
    body = Trim(body);
    if (body.empty())
        return true;
    while (true) {
        size_t comma = body.find(L',');
        std::wstring_view token = Trim(body.substr(0, comma));
        uint32_t byte = 0;
        if (!ParseHexNumber(token, 2, byte))
            return false;
        out.push_back(static_cast<uint8_t>(byte));
        if (comma == std::wstring_view::npos)
            return true;
        body.remove_prefix(comma + 1);
    }
}

// Stands for text that cannot be decoded: no valid name or value holds it, so the line that
// does is skipped like any other line that does not parse.
constexpr wchar_t kUndecodable = static_cast<wchar_t>(0x110000);

// Strict UTF-8 check: a line with bytes we would not write back unchanged is not ours.
bool IsStrictUtf8(std::string_view s) {
    return s.find('\0') == std::string_view::npos && IsValidUtf8(s);
}

}  // namespace

std::wstring DecodeRegFile(const std::string& bytes) {
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::string_view units = std::string_view(bytes).substr(2);
        text.reserve(units.size() / 2);
        for (size_t i = 0; i < units.size();) {
            DecodedChar c = DecodeUtf16LeAt(units, i);
            text.push_back(c.valid && c.value != 0 ? static_cast<wchar_t>(c.value) : kUndecodable);
            i += c.length;
        }
        return text;
    }
    std::string_view body(bytes);
    if (body.size() >= 3 && body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    text.reserve(body.size());
    while (!body.empty()) {
        size_t nl = body.find('\n');
        std::string_view line = body.substr(0, nl);
        if (IsStrictUtf8(line)) {
            text += Utf8ToWide(line);
        } else {
            text.push_back(kUndecodable);
        }
        if (nl == std::string_view::npos)
            break;
        text.push_back(L'\n');
        body.remove_prefix(nl + 1);
    }
    return text;
}

namespace {

bool HasUndecodable(std::wstring_view line) {
    return line.find(kUndecodable) != std::wstring_view::npos;
}

// A value line's name ("@" is the default value's); `pos` ends after it.
bool ParseValueName(std::wstring_view line, size_t& pos, std::wstring& name) {
    pos = 0;
    name.clear();
    if (line.front() == L'@') {
        pos = 1;
        return true;
    }
    return ParseQuoted(line, pos, name);
}

// One value line's name, type and data (after any continuation lines, which `i` moves past).
bool ParseValueLine(const std::vector<std::wstring_view>& lines, size_t& i, std::wstring& name,
                    uint32_t& type, std::vector<uint8_t>& bytes) {
    std::wstring_view line = Trim(lines[i]);
    size_t pos = 0;
    if (!ParseValueName(line, pos, name))
        return false;
    while (pos < line.size() && IsBlankChar(line[pos]))
        ++pos;
    if (pos >= line.size() || line[pos] != L'=')
        return false;
    ++pos;
    while (pos < line.size() && IsBlankChar(line[pos]))
        ++pos;
    std::wstring_view data = line.substr(pos);

    if (!data.empty() && data.front() == L'"') {
        std::wstring textValue;
        size_t p = 0;
        if (!ParseQuoted(data, p, textValue) || !Trim(data.substr(p)).empty())
            return false;
        type = REG_SZ;
        bytes = RegStringBytes(textValue, true);
        return true;
    }
    if (data.substr(0, 6) == L"dword:") {
        uint32_t v = 0;
        if (!ParseHexNumber(Trim(data.substr(6)), 8, v))
            return false;
        type = REG_DWORD;
        bytes = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                 static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
        return true;
    }
    size_t colon = data.find(L':');
    if (colon == std::wstring_view::npos)
        return false;
    std::wstring_view kind = data.substr(0, colon);
    if (kind == L"hex") {
        type = REG_BINARY;
    } else if (kind.size() > 5 && kind.substr(0, 4) == L"hex(" && kind.back() == L')') {
        if (!ParseHexNumber(kind.substr(4, kind.size() - 5), 8, type))
            return false;
    } else {
        return false;
    }
    // Long hex lists continue on the next lines after a trailing backslash.
    std::wstring body(data.substr(colon + 1));
    while (!Trim(body).empty() && Trim(body).back() == L'\\') {
        std::wstring_view t = Trim(body);
        body.assign(t.substr(0, t.size() - 1));
        if (i + 1 >= lines.size())
            return false;
        body += Trim(lines[++i]);
    }
    return !HasUndecodable(body) && ParseHexBytes(body, bytes);
}

// A "[ROOT\path]" or "[-ROOT\path]" line.
bool ParseKeyLine(std::wstring_view line, RegLine& out) {
    if (line.size() < 3 || line.back() != L']')
        return false;
    std::wstring_view rest = line.substr(1, line.size() - 2);
    out.kind = RegLine::Kind::Key;
    if (rest.front() == L'-') {
        out.kind = RegLine::Kind::DeleteKey;
        rest.remove_prefix(1);
    }
    out.parts.clear();
    size_t slash = rest.find(L'\\');
    out.root = RootKeyFromName(rest.substr(0, slash));
    while (slash != std::wstring_view::npos) {
        rest.remove_prefix(slash + 1);
        slash = rest.find(L'\\');
        std::wstring_view part = rest.substr(0, slash);
        if (part.empty() || part.size() > kMaxKeyNameLength)
            return false;
        out.parts.emplace_back(part);
    }
    return out.root != nullptr;
}

// A '"name"=-' or '@=-' line, which deletes the value.
bool IsValueDeletion(std::wstring_view line, std::wstring& name) {
    size_t pos = 0;
    if (!ParseValueName(line, pos, name))
        return false;
    std::wstring_view rest = Trim(line.substr(pos));
    return rest.size() >= 2 && rest.front() == L'=' && Trim(rest.substr(1)) == L"-";
}

// Walks a regedit file's lines after its header, calling onLine(parsed, number, isKeyLine)
// for each that is not blank or a comment: `parsed` is null when the line does not parse,
// `number` counts from 1. False without the header line.
template <typename OnLine>
bool WalkRegFile(const std::wstring& text, OnLine&& onLine) {
    std::vector<std::wstring_view> lines;
    std::wstring_view all(text);
    while (!all.empty()) {
        size_t nl = all.find(L'\n');
        lines.push_back(all.substr(0, nl));
        if (nl == std::wstring_view::npos)
            break;
        all.remove_prefix(nl + 1);
    }
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty())
        ++i;
    if (i == lines.size() || Trim(lines[i]) != kHeader)
        return false;
    RegLine parsed;
    for (++i; i < lines.size(); ++i) {
        std::wstring_view line = Trim(lines[i]);
        if (line.empty() || line.front() == L';')
            continue;
        size_t first = i;
        bool ok = !HasUndecodable(line);
        if (ok && line.front() == L'[') {
            ok = ParseKeyLine(line, parsed);
        } else if (ok && IsValueDeletion(line, parsed.name)) {
            parsed.kind = RegLine::Kind::DeleteValue;
        } else if (ok) {
            parsed.kind = RegLine::Kind::Value;
            ok = ParseValueLine(lines, i, parsed.name, parsed.type, parsed.data);
        }
        onLine(ok ? &parsed : nullptr, first + 1, line.front() == L'[');
    }
    return true;
}

std::wstring Escape(std::wstring_view s) {
    std::wstring out;
    for (wchar_t c : s) {
        if (c == L'\\' || c == L'"') {
            out.push_back(L'\\');
            out.push_back(c);
        } else if (c == L'\n') {
            out += L"\\n";
        } else if (c == L'\r') {
            out += L"\\r";
        } else if (c == 0) {
            out += L"\\0";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// REG_SZ data that the quoted form gives back byte for byte.
bool IsPlainString(const std::vector<uint8_t>& data, std::wstring& text) {
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    if (data[data.size() - 1] != 0 || data[data.size() - 2] != 0)
        return false;
    text = RegBytesToString(data.data(), data.size() - 2);
    for (wchar_t c : text) {
        if (c == 0xFFFD)
            return false;
    }
    return RegStringBytes(text, true) == data;
}

void AppendValue(std::wstring& out, const Value& v) {
    std::wstring line = v.name.empty() ? std::wstring(L"@=") : L"\"" + Escape(v.name) + L"\"=";
    std::wstring text;
    if (v.type == REG_SZ && IsPlainString(v.data, text)) {
        out += line + L"\"" + Escape(text) + L"\"\n";
        return;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                     (static_cast<uint32_t>(v.data[3]) << 24);
        wchar_t buf[16];
        std::swprintf(buf, 16, L"dword:%08x", d);
        out += line + buf + L"\n";
        return;
    }
    wchar_t kind[24];
    if (v.type == REG_BINARY) {
        std::swprintf(kind, 24, L"hex:");
    } else {
        std::swprintf(kind, 24, L"hex(%x):", v.type);
    }
    line += kind;
    // Wrapped as regedit wraps long lists, so a person can read them.
    for (size_t k = 0; k < v.data.size(); ++k) {
        wchar_t byte[4];
        std::swprintf(byte, 4, L"%02x", v.data[k]);
        line += byte;
        if (k + 1 < v.data.size()) {
            line += L',';
            if (line.size() >= 76) {
                out += line + L"\\\n";
                line = L"  ";
            }
        }
    }
    out += line + L"\n";
}

void AppendKey(std::wstring& out, const Key& key, const std::wstring& fullName) {
    out += L"[" + fullName + L"]\n";
    for (const Value& v : key.values)
        AppendValue(out, v);
    out += L"\n";
    for (const auto& [folded, child] : key.children) {
        AppendKey(out, *child, fullName + L"\\" + child->name);
    }
}

}  // namespace

bool IsValidCodePoint(wchar_t c) {
    return c != 0 && IsScalarValue(static_cast<char32_t>(c));
}

bool IsStorableName(std::wstring_view name) {
    for (wchar_t c : name) {
        if (!IsValidCodePoint(c) || c == L'\r' || c == L'\n')
            return false;
    }
    return true;
}

bool ParseHive(const std::wstring& text, HKEY hiveRoot, Key& root, std::vector<size_t>& badLines) {
    Key* current = nullptr;
    return WalkRegFile(text, [&](RegLine* line, size_t number, bool isKeyLine) {
        if (isKeyLine)
            current = nullptr;
        if (line != nullptr && line->kind == RegLine::Kind::Key && line->root == hiveRoot) {
            current = &root;
            for (const std::wstring& part : line->parts)
                current = current->AddChild(part);
        } else if (line != nullptr && line->kind == RegLine::Kind::Value && current != nullptr) {
            current->SetValue(line->name, line->type, std::move(line->data));
        } else {
            badLines.push_back(number);
        }
    });
}

bool ParseImportFile(const std::string& bytes, std::vector<RegLine>& ops, size_t& badLine) {
    badLine = 0;
    ops.clear();
    bool inKey = false;       // values belong to the last "[KEY]" line
    size_t currentIndex = 0;  // its op
    bool isRegFile = WalkRegFile(DecodeRegFile(bytes), [&](RegLine* line, size_t number, bool) {
        if (badLine != 0)
            return;
        bool isValue = line != nullptr && (line->kind == RegLine::Kind::Value ||
                                           line->kind == RegLine::Kind::DeleteValue);
        // A hive's root stays.
        bool rootDeletion =
            line != nullptr && line->kind == RegLine::Kind::DeleteKey && line->parts.empty();
        if (line == nullptr || (isValue && !inKey) || rootDeletion) {
            badLine = number;
            return;
        }
        if (isValue) {
            line->root = ops[currentIndex].root;
            line->parts = ops[currentIndex].parts;
        }
        ops.push_back(std::move(*line));
        if (!isValue) {
            currentIndex = ops.size() - 1;
            inKey = ops.back().kind == RegLine::Kind::Key;
        }
    });
    return isRegFile && badLine == 0;
}

std::wstring FormatRegText(const Key& key, const std::wstring& fullName) {
    std::wstring out = std::wstring(kHeader) + L"\n\n";
    AppendKey(out, key, fullName);
    return out;
}

}  // namespace platform::registry
