#include "platform/Registry.h"

#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "platform/DebugOutput.h"
#include "platform/SystemInfo.h"
#include "platform/Text.h"

namespace platform {

struct RegKeyObject {
    bool predefined = false;
    bool machine = true;
    std::vector<std::wstring> path;  // logical path below the root, as the caller spelled it
    bool view32 = false;             // seen through WOW6432Node
    uint32_t access = 0;
};

namespace {

RegKeyObject s_machineRoot{true, true, {}, false, 0xFFFFFFFFu};
RegKeyObject s_userRoot{true, false, {}, false, 0xFFFFFFFFu};

constexpr wchar_t kHeader[] = L"Windows Registry Editor Version 5.00";
constexpr wchar_t kMachineRootName[] = L"HKEY_LOCAL_MACHINE";
constexpr wchar_t kUserRootName[] = L"HKEY_CURRENT_USER";
constexpr wchar_t kRedirectNode[] = L"WOW6432Node";

// ---------------------------------------------------------------------------------------------
// Names

// Case folding independent of the process locale, so that a hive written under one locale
// matches under another.
locale_t FoldLocale() {
    static locale_t s_locale = [] {
        locale_t loc = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        return loc;
    }();
    return s_locale;
}

std::wstring Fold(std::wstring_view name) {
    std::wstring out(name);
    locale_t loc = FoldLocale();
    for (wchar_t& c : out) {
        if (c < 0x80) {
            if (c >= L'a' && c <= L'z')
                c = static_cast<wchar_t>(c - L'a' + L'A');
        } else if (loc != static_cast<locale_t>(0)) {
            c = static_cast<wchar_t>(::towupper_l(static_cast<wint_t>(c), loc));
        }
    }
    return out;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && Fold(a) == Fold(b);
}

bool IsValidCodePoint(wchar_t c) {
    auto u = static_cast<uint32_t>(c);
    return u != 0 && u <= 0x10FFFF && (u < 0xD800 || u > 0xDFFF);
}

// A name the hive file can hold on one line and give back unchanged.
bool IsStorableName(std::wstring_view name) {
    for (wchar_t c : name) {
        if (!IsValidCodePoint(c) || c == L'\r' || c == L'\n')
            return false;
    }
    return true;
}

std::vector<std::wstring> SplitPath(const wchar_t* subKey) {
    std::vector<std::wstring> parts;
    if (subKey == nullptr)
        return parts;
    std::wstring_view rest(subKey);
    while (!rest.empty()) {
        size_t pos = rest.find(L'\\');
        std::wstring_view part = rest.substr(0, pos);
        if (!part.empty())
            parts.emplace_back(part);
        if (pos == std::wstring_view::npos)
            break;
        rest.remove_prefix(pos + 1);
    }
    return parts;
}

// ---------------------------------------------------------------------------------------------
// The tree of one hive

struct Value {
    std::wstring name;
    uint32_t type = REG_NONE;
    std::vector<uint8_t> data;
};

struct Key {
    std::wstring name;
    std::vector<Value> values;                              // in the order first written
    std::unordered_map<std::wstring, size_t> valueIndex;    // folded name -> position in values
    std::map<std::wstring, std::unique_ptr<Key>> children;  // by folded name: Windows' order

    Key() = default;
    Key(Key&&) = default;
    Key& operator=(Key&&) = default;
    // Deep: a change works on a copy of the cached tree.
    Key(const Key& other) : name(other.name), values(other.values), valueIndex(other.valueIndex) {
        for (const auto& [folded, child] : other.children)
            children.emplace(folded, std::make_unique<Key>(*child));
    }
    Key& operator=(const Key&) = delete;

    Key* Child(std::wstring_view childName) const {
        auto it = children.find(Fold(childName));
        return it == children.end() ? nullptr : it->second.get();
    }
    Key* AddChild(const std::wstring& childName) {
        auto& slot = children[Fold(childName)];
        if (!slot) {
            slot = std::make_unique<Key>();
            slot->name = childName;
        }
        return slot.get();
    }
    const Value* FindValue(std::wstring_view valueName) const {
        auto it = valueIndex.find(Fold(valueName));
        return it == valueIndex.end() ? nullptr : &values[it->second];
    }
    void SetValue(const std::wstring& valueName, uint32_t type, std::vector<uint8_t> data) {
        auto [it, added] = valueIndex.try_emplace(Fold(valueName), values.size());
        if (added) {
            values.push_back(Value{valueName, type, std::move(data)});
            return;
        }
        values[it->second].type = type;
        values[it->second].data = std::move(data);
    }
    bool DeleteValue(std::wstring_view valueName) {
        auto it = valueIndex.find(Fold(valueName));
        if (it == valueIndex.end())
            return false;
        size_t at = it->second;
        valueIndex.erase(it);
        values.erase(values.begin() + static_cast<long>(at));
        for (auto& [folded, index] : valueIndex) {
            if (index > at)
                --index;
        }
        return true;
    }
};

// The path a key has in the file, and whether the 32-bit view inserted WOW6432Node into it.
struct PhysicalPath {
    std::vector<std::wstring> parts;
    bool redirected = false;
};

PhysicalPath ToPhysical(bool machine, const std::vector<std::wstring>& logical, bool view32) {
    PhysicalPath p{logical, false};
    if (view32 && machine && !logical.empty() && SameName(logical[0], L"Software") &&
        !(logical.size() > 1 && SameName(logical[1], kRedirectNode))) {
        p.parts.insert(p.parts.begin() + 1, kRedirectNode);
        p.redirected = true;
    }
    return p;
}

// The key at a physical path, or null. The redirection node counts as present (empty) while
// "Software" exists, as it always does on 64-bit Windows.
const Key* Lookup(const Key& root, const PhysicalPath& path) {
    static const Key s_emptyKey;
    const Key* k = &root;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        const Key* next = k->Child(path.parts[i]);
        if (next == nullptr) {
            if (path.redirected && i == 1 && path.parts.size() == 2)
                return &s_emptyKey;
            return nullptr;
        }
        k = next;
    }
    return k;
}

Key* LookupMutable(Key& root, const PhysicalPath& path, bool createRedirectNode) {
    Key* k = &root;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        Key* next = k->Child(path.parts[i]);
        if (next == nullptr && path.redirected && i == 1 && createRedirectNode) {
            next = k->AddChild(path.parts[i]);
        }
        if (next == nullptr)
            return nullptr;
        k = next;
    }
    return k;
}

// ---------------------------------------------------------------------------------------------
// Text of the hive file

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
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c == 0)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n = 0;
        uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size())
                return false;
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += n + 1;
    }
    return true;
}

// The file's text: UTF-16LE with BOM, else UTF-8 (BOM optional). What cannot be decoded
// (a NUL, an unpaired surrogate, a torn unit, bytes that are not UTF-8) becomes kUndecodable.
std::wstring DecodeFile(const std::string& bytes) {
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        auto unit = [&bytes](size_t i) {
            return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8));
        };
        text.reserve(bytes.size() / 2);
        size_t i = 2;
        for (; i + 1 < bytes.size(); i += 2) {
            uint32_t u = unit(i);
            if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
                unit(i + 2) <= 0xDFFF) {
                text.push_back(
                    static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (unit(i + 2) - 0xDC00)));
                i += 2;
            } else if (u == 0 || (u >= 0xD800 && u <= 0xDFFF)) {
                text.push_back(kUndecodable);
            } else {
                text.push_back(static_cast<wchar_t>(u));
            }
        }
        if (i < bytes.size())
            text.push_back(kUndecodable);
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

// One line of a regedit file that parses.
struct RegLine {
    enum class Kind { Key, DeleteKey, Value, DeleteValue };
    Kind kind = Kind::Key;
    HKEY root = nullptr;              // Key, DeleteKey
    std::vector<std::wstring> parts;  // Key, DeleteKey: the path below the root
    std::wstring name;                // Value, DeleteValue
    uint32_t type = REG_NONE;         // Value
    std::vector<uint8_t> data;        // Value
};

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

// Parses a hive file's text into `root`. A line that does not parse is skipped (so are the
// values of a key line that does not, and deletions, which belong to import files) and its
// number goes to `badLines`; the rest still reads. False when the text is not a hive at all.
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

std::string SerializeHive(const Key& root, const std::wstring& rootName) {
    std::wstring out = std::wstring(kHeader) + L"\n\n";
    AppendKey(out, root, rootName);
    return WideToUtf8(out);
}

// ---------------------------------------------------------------------------------------------
// Files

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

LSTATUS ErrnoToStatus(int err) {
    return (err == EACCES || err == EPERM || err == EROFS) ? ERROR_ACCESS_DENIED
                                                           : ERROR_REGISTRY_IO_FAILED;
}

// mkdir -p; errno of the first failure.
int MakeDirectories(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    std::string parent = DirectoryOf(dir);
    if (parent != dir && parent != "." && parent != "/") {
        if (int err = MakeDirectories(parent))
            return err;
    }
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

enum class HiveState { Missing, Ok, Damaged, Corrupt, Unreadable };

struct LoadedHive {
    HiveState state = HiveState::Missing;  // Damaged: lines were skipped; Corrupt: not a hive
    int error = 0;
    Key root;
};

// What identifies one version of a hive file: an atomic replace gives a new inode, an edit in
// place a new change time.
struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    struct timespec mtime {};
    struct timespec ctime {};

    static FileStamp Of(const struct stat& st) {
        return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const FileStamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

// The last parsed version of each hive: a call on an unchanged file parses nothing.
struct HiveCache {
    std::mutex mutex;
    std::string path;
    FileStamp stamp;
    std::shared_ptr<const LoadedHive> hive;
    std::string reportedPath;  // the damaged file last logged, so that it is logged once
    FileStamp reportedStamp;
};

HiveCache s_hiveCache[2];  // machine, user
std::atomic<unsigned> s_hiveParses{0};

HiveCache& CacheOf(bool machine) {
    return s_hiveCache[machine ? 0 : 1];
}

void Remember(bool machine, const std::string& path, const FileStamp& stamp,
              std::shared_ptr<const LoadedHive> hive) {
    HiveCache& cache = CacheOf(machine);
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.path = path;
    cache.stamp = stamp;
    cache.hive = std::move(hive);
}

void LogSkippedLines(const std::string& path, const std::wstring& text,
                     const std::vector<size_t>& badLines) {
    constexpr size_t kMaxLogged = 20;
    std::vector<std::wstring_view> lines;
    std::wstring_view all(text);
    for (size_t n = 1, wanted = 0; wanted < badLines.size() && wanted < kMaxLogged; ++n) {
        size_t nl = all.find(L'\n');
        if (badLines[wanted] == n) {
            std::wstring line(all.substr(0, nl));
            for (wchar_t& c : line) {
                if (!IsValidCodePoint(c) || c == L'\r')
                    c = L'?';
            }
            OutputDebugStringW((L"Registry: " + PathFromNarrow(path) + L" line " +
                                std::to_wstring(n) + L" skipped, it does not parse: " + line +
                                L"\n")
                                   .c_str());
            ++wanted;
        }
        if (nl == std::wstring_view::npos)
            break;
        all.remove_prefix(nl + 1);
    }
    if (badLines.size() > kMaxLogged) {
        OutputDebugStringW((L"Registry: " + PathFromNarrow(path) + L" " +
                            std::to_wstring(badLines.size() - kMaxLogged) +
                            L" more lines skipped\n")
                               .c_str());
    }
    OutputDebugStringW(
        (L"Registry: " + PathFromNarrow(path) + L" is not written until it is repaired\n").c_str());
}

// True the first time a damaged version of a hive file is met.
bool FirstReport(bool machine, const std::string& path, const FileStamp& stamp) {
    HiveCache& cache = CacheOf(machine);
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.reportedPath == path && cache.reportedStamp == stamp)
        return false;
    cache.reportedPath = path;
    cache.reportedStamp = stamp;
    return true;
}

std::shared_ptr<const LoadedHive> ParseHiveFile(bool machine, const std::string& path,
                                                const FileStamp& stamp, const std::string& bytes) {
    ++s_hiveParses;
    auto hive = std::make_shared<LoadedHive>();
    hive->state = HiveState::Ok;
    if (bytes.empty())
        return hive;  // an empty file holds nothing that a write could lose
    std::wstring text = DecodeFile(bytes);
    std::vector<size_t> badLines;
    if (!ParseHive(text, machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, hive->root, badLines)) {
        hive->root = Key{};
        hive->state = HiveState::Corrupt;
        if (FirstReport(machine, path, stamp)) {
            OutputDebugStringW((L"Registry: " + PathFromNarrow(path) +
                                L" is no registry file; it is not written until it is repaired\n")
                                   .c_str());
        }
    } else if (!badLines.empty()) {
        hive->state = HiveState::Damaged;
        if (FirstReport(machine, path, stamp))
            LogSkippedLines(path, text, badLines);
    }
    return hive;
}

// The hive as its file holds it now: the cached tree while the file is unchanged, else the
// file parsed anew.
std::shared_ptr<const LoadedHive> LoadHive(bool machine) {
    std::string path = GetRegistryHivePath(machine);
    auto failed = [](HiveState state, int error) {
        auto hive = std::make_shared<LoadedHive>();
        hive->state = state;
        hive->error = error;
        return hive;
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return failed(errno == ENOENT ? HiveState::Missing : HiveState::Unreadable, errno);
    {
        HiveCache& cache = CacheOf(machine);
        std::lock_guard<std::mutex> lock(cache.mutex);
        if (cache.hive && cache.path == path && cache.stamp == FileStamp::Of(st))
            return cache.hive;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(errno == ENOENT ? HiveState::Missing : HiveState::Unreadable, errno);
    std::string bytes;
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            return failed(HiveState::Unreadable, err);
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    bool stamped = ::fstat(fd, &st) == 0;
    ::close(fd);
    std::shared_ptr<const LoadedHive> hive = ParseHiveFile(machine, path, FileStamp::Of(st), bytes);
    // A file changed within the file system's clock tick could keep its stamp: such a fresh
    // file is parsed again next time rather than trusted.
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    bool settled =
        now.tv_sec - st.st_mtim.tv_sec > 1 ||
        (now.tv_sec - st.st_mtim.tv_sec) * 1000000000L + (now.tv_nsec - st.st_mtim.tv_nsec) >
            100000000L;
    if (stamped && settled)
        Remember(machine, path, FileStamp::Of(st), hive);
    return hive;
}

// Replaces the hive file atomically; `stamp` receives the new file's identity.
LSTATUS WriteHiveFile(const std::string& path, const std::string& data, FileStamp& stamp) {
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return ErrnoToStatus(errno);
    struct stat st {};
    ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    int err = 0;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (err == 0 && ::fstat(fd, &st) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(name.data(), path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(name.data());
        return ErrnoToStatus(err);
    }
    // Under the hive's lock nobody else replaces the file: what is there now is ours.
    if (::stat(path.c_str(), &st) == 0)
        stamp = FileStamp::Of(st);
    return ERROR_SUCCESS;
}

// Holds the hive's exclusive lock for one read-change-write cycle.
class HiveLock {
public:
    explicit HiveLock(const std::string& hivePath) {
        if (int err = MakeDirectories(DirectoryOf(hivePath))) {
            m_status = ErrnoToStatus(err);
            return;
        }
        std::string lockPath = hivePath + ".lock";
        m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            m_status = ErrnoToStatus(errno);
            return;
        }
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_status = ErrnoToStatus(errno);
                return;
            }
        }
        m_status = ERROR_SUCCESS;
    }
    ~HiveLock() {
        if (m_fd >= 0)
            ::close(m_fd);  // closing releases the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    LSTATUS Status() const { return m_status; }

private:
    int m_fd = -1;
    LSTATUS m_status = ERROR_REGISTRY_IO_FAILED;
};

// Runs `change` on the hive under its lock and writes the result back when it asks to.
// `change` returns a status and sets `dirty` when the tree changed.
template <typename Change>
LSTATUS ModifyHive(bool machine, Change&& change) {
    std::string path = GetRegistryHivePath(machine);
    HiveLock lock(path);
    if (lock.Status() != ERROR_SUCCESS)
        return lock.Status();
    std::shared_ptr<const LoadedHive> hive = LoadHive(machine);
    if (hive->state == HiveState::Corrupt || hive->state == HiveState::Damaged)
        return ERROR_BADDB;
    if (hive->state == HiveState::Unreadable)
        return ErrnoToStatus(hive->error);
    auto changed = std::make_shared<LoadedHive>();
    changed->state = HiveState::Ok;
    changed->root = Key(hive->root);
    bool dirty = false;
    LSTATUS status = change(changed->root, dirty);
    if (status != ERROR_SUCCESS || !dirty)
        return status;
    FileStamp stamp;
    status = WriteHiveFile(
        path, SerializeHive(changed->root, machine ? kMachineRootName : kUserRootName), stamp);
    if (status == ERROR_SUCCESS)
        Remember(machine, path, stamp, std::move(changed));
    return status;
}

// ---------------------------------------------------------------------------------------------
// Handles

std::mutex s_handleMutex;
std::unordered_set<RegKeyObject*> s_handles;

// A copy of the key's state, so that a concurrent RegCloseKey cannot pull it away.
bool Snapshot(HKEY key, RegKeyObject& out) {
    if (key == nullptr)
        return false;
    if (key == &s_machineRoot || key == &s_userRoot) {
        out = *key;
        return true;
    }
    std::lock_guard<std::mutex> lock(s_handleMutex);
    if (s_handles.count(key) == 0)
        return false;
    out = *key;
    return true;
}

HKEY NewHandle(const RegKeyObject& state) {
    auto* obj = new RegKeyObject(state);
    std::lock_guard<std::mutex> lock(s_handleMutex);
    s_handles.insert(obj);
    return obj;
}

bool HasAccess(const RegKeyObject& k, uint32_t needed) {
    return (k.access & needed) == needed;
}

// The view a key opened under `parent` with `sam` sees.
bool ChooseView32(const RegKeyObject& parent, uint32_t sam) {
    if (sam & KEY_WOW64_64KEY)
        return false;
    if (sam & KEY_WOW64_32KEY)
        return true;
    if (parent.predefined)
        return IsWow64Process();
    return parent.view32;
}

RegKeyObject ChildState(const RegKeyObject& parent, const std::vector<std::wstring>& parts,
                        uint32_t sam) {
    RegKeyObject child;
    child.machine = parent.machine;
    child.path = parent.path;
    child.path.insert(child.path.end(), parts.begin(), parts.end());
    child.view32 = ChooseView32(parent, sam);
    child.access = sam & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    return child;
}

// The key a handle names, in a hive read just now, after what every reading call checks in
// this order: the handle, its parameters (`badParameter`) and the handle's `access`.
// ERROR_KEY_DELETED when the key is gone.
LSTATUS OpenForRead(HKEY key, bool badParameter, uint32_t access,
                    std::shared_ptr<const LoadedHive>& hive, const Key*& out) {
    RegKeyObject k;
    if (!Snapshot(key, k))
        return ERROR_INVALID_HANDLE;
    if (badParameter)
        return ERROR_INVALID_PARAMETER;
    if (!HasAccess(k, access))
        return ERROR_ACCESS_DENIED;
    hive = LoadHive(k.machine);
    if (k.path.empty()) {
        out = &hive->root;  // a root exists whatever its file holds
        return ERROR_SUCCESS;
    }
    out = Lookup(hive->root, ToPhysical(k.machine, k.path, k.view32));
    return out ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// The handle of a call that changes values: valid, and opened with KEY_SET_VALUE.
LSTATUS SnapshotForSet(HKEY key, RegKeyObject& k) {
    if (!Snapshot(key, k))
        return ERROR_INVALID_HANDLE;
    return HasAccess(k, KEY_SET_VALUE) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS CopyName(const std::wstring& name, wchar_t* buffer, uint32_t* chars) {
    if (buffer == nullptr || chars == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *chars)
        return ERROR_MORE_DATA;
    name.copy(buffer, name.size());
    buffer[name.size()] = 0;
    *chars = static_cast<uint32_t>(name.size());
    return ERROR_SUCCESS;
}

LSTATUS CopyData(const Value& v, uint32_t* type, uint8_t* data, uint32_t* size) {
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (type)
        *type = v.type;
    if (size == nullptr)
        return ERROR_SUCCESS;
    auto stored = static_cast<uint32_t>(v.data.size());
    if (data != nullptr) {
        if (*size < stored) {
            *size = stored;
            return ERROR_MORE_DATA;
        }
        std::copy(v.data.begin(), v.data.end(), data);
    }
    *size = stored;
    return ERROR_SUCCESS;
}

}  // namespace

const HKEY HKEY_LOCAL_MACHINE = &s_machineRoot;
const HKEY HKEY_CURRENT_USER = &s_userRoot;

// -------------------------------------------------------------------------------------------------

LSTATUS RegOpenKeyExW(HKEY key, const wchar_t* subKey, uint32_t /*options*/, uint32_t samDesired,
                      HKEY* result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    RegKeyObject parent;
    if (!Snapshot(key, parent))
        return ERROR_INVALID_HANDLE;
    RegKeyObject child = ChildState(parent, SplitPath(subKey), samDesired);
    if (!child.path.empty()) {
        std::shared_ptr<const LoadedHive> hive = LoadHive(child.machine);
        if (Lookup(hive->root, ToPhysical(child.machine, child.path, child.view32)) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    *result = NewHandle(child);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY key, const wchar_t* subKey, uint32_t /*reserved*/, wchar_t* keyClass,
                        uint32_t /*options*/, uint32_t samDesired, const void* security,
                        HKEY* result, uint32_t* disposition) {
    if (result == nullptr || keyClass != nullptr || security != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    RegKeyObject parent;
    if (!Snapshot(key, parent))
        return ERROR_INVALID_HANDLE;
    std::vector<std::wstring> parts = SplitPath(subKey);
    for (const std::wstring& p : parts) {
        if (p.size() > kMaxKeyNameLength || !IsStorableName(p))
            return ERROR_INVALID_PARAMETER;
    }
    RegKeyObject child = ChildState(parent, parts, samDesired);
    bool created = false;
    if (!child.path.empty()) {
        // Most calls find the key; only a missing one costs the lock and a write.
        std::shared_ptr<const LoadedHive> hive = LoadHive(child.machine);
        PhysicalPath phys = ToPhysical(child.machine, child.path, child.view32);
        if (Lookup(hive->root, phys) == nullptr) {
            if (!HasAccess(parent, KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            PhysicalPath parentPhys = ToPhysical(parent.machine, parent.path, child.view32);
            LSTATUS status = ModifyHive(child.machine, [&](Key& root, bool& dirty) {
                if (!parent.path.empty() && Lookup(root, parentPhys) == nullptr) {
                    return ERROR_KEY_DELETED;
                }
                Key* k = &root;
                for (const std::wstring& part : phys.parts) {
                    if (k->Child(part) == nullptr) {
                        dirty = true;
                        created = true;
                    }
                    k = k->AddChild(part);
                }
                return ERROR_SUCCESS;
            });
            if (status != ERROR_SUCCESS)
                return status;
        }
    }
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(child);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    if (key == &s_machineRoot || key == &s_userRoot)
        return ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> lock(s_handleMutex);
        if (key == nullptr || s_handles.erase(key) == 0)
            return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExW(HKEY key, uint32_t index, wchar_t* name, uint32_t* nameChars,
                      uint32_t* reserved, wchar_t* keyClass, uint32_t* classChars,
                      void* lastWriteTime) {
    std::shared_ptr<const LoadedHive> hive;
    const Key* node = nullptr;
    bool badParameter = reserved || keyClass || classChars || lastWriteTime;
    if (LSTATUS s = OpenForRead(key, badParameter, KEY_ENUMERATE_SUB_KEYS, hive, node))
        return s;
    if (index >= node->children.size())
        return ERROR_NO_MORE_ITEMS;
    auto it = node->children.begin();
    std::advance(it, index);
    return CopyName(it->second->name, name, nameChars);
}

LSTATUS RegEnumValueW(HKEY key, uint32_t index, wchar_t* valueName, uint32_t* valueNameChars,
                      uint32_t* reserved, uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    std::shared_ptr<const LoadedHive> hive;
    const Key* node = nullptr;
    if (LSTATUS s = OpenForRead(key, reserved != nullptr, KEY_QUERY_VALUE, hive, node))
        return s;
    if (index >= node->values.size())
        return ERROR_NO_MORE_ITEMS;
    const Value& v = node->values[index];
    if (LSTATUS s = CopyName(v.name, valueName, valueNameChars))
        return s;
    return CopyData(v, type, data, dataSize);
}

LSTATUS RegQueryValueExW(HKEY key, const wchar_t* valueName, uint32_t* reserved, uint32_t* type,
                         uint8_t* data, uint32_t* dataSize) {
    std::shared_ptr<const LoadedHive> hive;
    const Key* node = nullptr;
    if (LSTATUS s = OpenForRead(key, reserved != nullptr, KEY_QUERY_VALUE, hive, node))
        return s;
    const Value* v = node->FindValue(valueName ? valueName : L"");
    return v ? CopyData(*v, type, data, dataSize) : ERROR_FILE_NOT_FOUND;
}

LSTATUS RegSetValueExW(HKEY key, const wchar_t* valueName, uint32_t /*reserved*/, uint32_t type,
                       const uint8_t* data, uint32_t size) {
    RegKeyObject k;
    if (LSTATUS s = SnapshotForSet(key, k))
        return s;
    std::wstring name = valueName ? valueName : L"";
    if (name.size() > kMaxValueNameLength || !IsStorableName(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (data == nullptr && size != 0)
        return ERROR_INVALID_PARAMETER;
    std::vector<uint8_t> bytes(data, data + size);
    PhysicalPath phys = ToPhysical(k.machine, k.path, k.view32);
    return ModifyHive(k.machine, [&](Key& root, bool& dirty) {
        Key* node = LookupMutable(root, phys, true);
        if (node == nullptr)
            return ERROR_KEY_DELETED;
        node->SetValue(name, type, std::move(bytes));
        dirty = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteValueW(HKEY key, const wchar_t* valueName) {
    RegKeyObject k;
    if (LSTATUS s = SnapshotForSet(key, k))
        return s;
    std::wstring name = valueName ? valueName : L"";
    PhysicalPath phys = ToPhysical(k.machine, k.path, k.view32);
    return ModifyHive(k.machine, [&](Key& root, bool& dirty) {
        Key* node = LookupMutable(root, phys, false);
        if (node == nullptr)
            return k.path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        if (!node->DeleteValue(name))
            return ERROR_FILE_NOT_FOUND;
        dirty = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteKeyExW(HKEY key, const wchar_t* subKey, uint32_t samDesired,
                        uint32_t /*reserved*/) {
    RegKeyObject parent;
    if (!Snapshot(key, parent))
        return ERROR_INVALID_HANDLE;
    RegKeyObject target = ChildState(parent, SplitPath(subKey), samDesired);
    if (target.path.empty())
        return ERROR_ACCESS_DENIED;  // a hive's root stays
    PhysicalPath phys = ToPhysical(target.machine, target.path, target.view32);
    return ModifyHive(target.machine, [&](Key& root, bool& dirty) {
        Key* container = &root;
        for (size_t i = 0; i + 1 < phys.parts.size(); ++i) {
            container = container->Child(phys.parts[i]);
            if (container == nullptr)
                return ERROR_FILE_NOT_FOUND;
        }
        auto it = container->children.find(Fold(phys.parts.back()));
        if (it == container->children.end())
            return ERROR_FILE_NOT_FOUND;
        if (!it->second->children.empty())
            return ERROR_ACCESS_DENIED;
        container->children.erase(it);
        dirty = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteKeyW(HKEY key, const wchar_t* subKey) {
    return RegDeleteKeyExW(key, subKey, 0, 0);
}

std::vector<uint8_t> RegStringBytes(std::wstring_view text, bool terminate) {
    std::vector<uint8_t> out;
    out.reserve((text.size() + 1) * 2);
    auto put = [&out](uint32_t unit) {
        out.push_back(static_cast<uint8_t>(unit & 0xFF));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    };
    for (wchar_t c : text) {
        auto u = static_cast<uint32_t>(c);
        if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF))
            u = 0xFFFD;
        if (u >= 0x10000) {
            u -= 0x10000;
            put(0xD800 + (u >> 10));
            put(0xDC00 + (u & 0x3FF));
        } else {
            put(u);
        }
    }
    if (terminate)
        put(0);
    return out;
}

std::wstring RegBytesToString(const uint8_t* data, size_t size) {
    std::wstring out;
    if (data == nullptr)
        return out;
    size_t units = size / 2;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = data[2 * i] | (data[2 * i + 1] << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            uint32_t next = data[2 * i + 2] | (data[2 * i + 3] << 8);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                out.push_back(
                    static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00)));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            u = 0xFFFD;
        out.push_back(static_cast<wchar_t>(u));
    }
    return out;
}

LSTATUS RegExportKey(HKEY key, const wchar_t* subKey, uint32_t samDesired, std::wstring& text) {
    RegKeyObject parent;
    if (!Snapshot(key, parent))
        return ERROR_INVALID_HANDLE;
    RegKeyObject target = ChildState(parent, SplitPath(subKey), samDesired);
    std::shared_ptr<const LoadedHive> hive = LoadHive(target.machine);
    PhysicalPath phys = ToPhysical(target.machine, target.path, target.view32);
    const Key* node = Lookup(hive->root, phys);
    if (node == nullptr)
        return ERROR_FILE_NOT_FOUND;
    // The full name as stored, in the case the hive keeps.
    std::wstring fullName = target.machine ? kMachineRootName : kUserRootName;
    const Key* k = &hive->root;
    for (const std::wstring& part : phys.parts) {
        k = k ? k->Child(part) : nullptr;
        fullName += L"\\" + (k ? k->name : part);
    }
    std::wstring body = std::wstring(kHeader) + L"\n\n";
    AppendKey(body, *node, fullName);
    text.clear();
    text.reserve(body.size() + body.size() / 16);
    for (wchar_t c : body) {
        if (c == L'\n')
            text.push_back(L'\r');
        text.push_back(c);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegImportFile(const std::string& bytes, size_t& badLine) {
    badLine = 0;
    std::vector<RegLine> ops;
    bool inKey = false;       // values belong to the last "[KEY]" line
    size_t currentIndex = 0;  // its op
    bool isRegFile = WalkRegFile(DecodeFile(bytes), [&](RegLine* line, size_t number, bool) {
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
    if (!isRegFile || badLine != 0)
        return ERROR_BADDB;
    for (bool machine : {true, false}) {
        HKEY hiveRoot = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        bool touched = false;
        for (const RegLine& op : ops)
            touched = touched || op.root == hiveRoot;
        if (!touched)
            continue;
        LSTATUS status = ModifyHive(machine, [&](Key& root, bool& dirty) {
            for (RegLine& op : ops) {
                if (op.root != hiveRoot)
                    continue;
                Key* node = &root;
                size_t walk =
                    op.kind == RegLine::Kind::DeleteKey ? op.parts.size() - 1 : op.parts.size();
                bool create =
                    op.kind != RegLine::Kind::DeleteKey && op.kind != RegLine::Kind::DeleteValue;
                for (size_t i = 0; node != nullptr && i < walk; ++i)
                    node = create ? node->AddChild(op.parts[i]) : node->Child(op.parts[i]);
                dirty = true;
                if (node == nullptr)
                    continue;  // deleting what is not there
                if (op.kind == RegLine::Kind::DeleteKey) {
                    node->children.erase(Fold(op.parts.back()));
                } else if (op.kind == RegLine::Kind::Value) {
                    node->SetValue(op.name, op.type, op.data);
                } else if (op.kind == RegLine::Kind::DeleteValue) {
                    node->DeleteValue(op.name);
                }
            }
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

unsigned GetHiveParseCountForTest() {
    return s_hiveParses.load();
}

std::string GetRegistryHivePath(bool machine) {
    const char* dir = std::getenv("QI_REGISTRY_DIR");
    if (dir != nullptr && *dir != '\0') {
        return std::string(dir) + (machine ? "/machine.reg" : "/user.reg");
    }
    if (machine)
        return "/var/lib/quillora-installer/registry/machine.reg";
    std::string config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeDir = home != nullptr ? home : "";
        if (homeDir.empty()) {
            struct passwd pw {};
            struct passwd* found = nullptr;
            char buf[4096];
            if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found) {
                homeDir = found->pw_dir;
            }
        }
        config = homeDir + "/.config";
    }
    return config + "/quillora-installer/registry/user.reg";
}

std::wstring GetRootKeyName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE)
        return kMachineRootName;
    if (root == HKEY_CURRENT_USER)
        return kUserRootName;
    return std::wstring();
}

HKEY RootKeyFromName(std::wstring_view name) {
    std::wstring folded = Fold(name);
    if (folded == L"HKEY_LOCAL_MACHINE" || folded == L"HKLM")
        return HKEY_LOCAL_MACHINE;
    if (folded == L"HKEY_CURRENT_USER" || folded == L"HKCU")
        return HKEY_CURRENT_USER;
    return nullptr;
}

}  // namespace platform
