#include "platform/Profile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/DebugOutput.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "platform/WideFormat.h"

namespace platform {
namespace {

enum class Encoding { Utf8, Utf8Bom, Utf16Le };

struct Line {
    std::string raw;    // the line's bytes in the file's encoding, without its end
    std::string eol;    // "\n", "\r\n", "\r" or "" for the last line
    std::wstring text;  // decoded
};

struct IniFile {
    Encoding encoding = Encoding::Utf8;
    std::vector<Line> lines;
};

enum class ReadResult { Ok, Missing, Failed };

// The whole file, or why not: a read error is never taken for the end of the file, so a
// following write cannot store what was cut off.
ReadResult ReadIniFile(const std::string& path, std::string& data, int& error) {
    error = ReadWholeFile(path, data);
    if (error == 0)
        return ReadResult::Ok;
    return error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
}

void LogReadFailure(const char* function, const wchar_t* fileName, int error) {
    OutputDebugStringW(
        FormatW(L"%hs: cannot read %s (errno %d)\n", function, fileName, error).c_str());
}

std::wstring DecodeUtf16Le(std::string_view bytes) {
    return Utf16LeToWide(bytes);
}

std::string EncodeUtf16Le(std::wstring_view text) {
    return WideToUtf16Le(text);
}

// A zero inside a line ends its text, in either encoding (Utf8ToWide stops there itself).
std::wstring Decode(Encoding enc, std::string_view raw) {
    if (enc == Encoding::Utf8 || enc == Encoding::Utf8Bom)
        return Utf8ToWide(raw);
    std::wstring text = DecodeUtf16Le(raw);
    size_t zero = text.find(L'\0');
    if (zero != std::wstring::npos)
        text.resize(zero);
    return text;
}

std::string Encode(Encoding enc, std::wstring_view text) {
    return enc == Encoding::Utf16Le ? EncodeUtf16Le(text) : WideToUtf8(text);
}

// Splits the file into lines, keeping each line's bytes and its end verbatim.
IniFile Parse(const std::string& data) {
    IniFile file;
    // Sized once: growing a vector of a large file's lines costs more than counting them.
    file.lines.reserve(static_cast<size_t>(std::count(data.begin(), data.end(), '\n')) + 1);
    if (data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0xFF &&
        static_cast<unsigned char>(data[1]) == 0xFE) {
        file.encoding = Encoding::Utf16Le;
        // A torn last unit (odd byte count) is dropped: kept, it would shift every unit that
        // a write appends after it.
        std::string_view body(data.data() + 2, (data.size() - 2) & ~size_t{1});
        auto unitIs = [&body](size_t i, char c) { return body[i] == c && body[i + 1] == 0; };
        size_t lineStart = 0;
        for (size_t i = 0; i < body.size(); i += 2) {
            if (!unitIs(i, '\r') && !unitIs(i, '\n'))
                continue;
            size_t next = i + 2;
            if (unitIs(i, '\r') && next < body.size() && unitIs(next, '\n'))
                next += 2;
            file.lines.push_back(Line{std::string(body.substr(lineStart, i - lineStart)),
                                      std::string(body.substr(i, next - i)),
                                      {}});
            lineStart = next;
            i = next - 2;
        }
        if (lineStart < body.size())
            file.lines.push_back(Line{std::string(body.substr(lineStart)), "", {}});
    } else {
        size_t start = 0;
        if (data.size() >= 3 && data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            file.encoding = Encoding::Utf8Bom;
            start = 3;
        }
        size_t lineStart = start;
        for (size_t i = start; i < data.size(); ++i) {
            if (data[i] != '\n' && data[i] != '\r')
                continue;
            size_t next = i + 1;
            if (data[i] == '\r' && next < data.size() && data[next] == '\n')
                ++next;
            file.lines.push_back(
                Line{data.substr(lineStart, i - lineStart), data.substr(i, next - i), {}});
            lineStart = next;
            i = next - 1;
        }
        if (lineStart < data.size())
            file.lines.push_back(Line{data.substr(lineStart), "", {}});
    }
    for (Line& line : file.lines)
        line.text = Decode(file.encoding, line.raw);
    return file;
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\v' || c == L'\f' || c == 0xFEFF;
}

std::wstring Trim(std::wstring_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return std::wstring(s.substr(b, e - b));
}

// A section header's name, if the line is one: "[" up to the last "]". A "[" line without
// "]" is neither a header nor a key; its keys stay in the section before it.
std::optional<std::wstring> SectionName(const std::wstring& text) {
    std::wstring t = Trim(text);
    if (t.empty() || t.front() != L'[')
        return std::nullopt;
    size_t close = t.rfind(L']');
    if (close == 0 || close == std::wstring::npos)
        return std::nullopt;
    return Trim(std::wstring_view(t).substr(1, close - 1));
}

struct Entry {
    std::wstring key;
    std::wstring value;  // trimmed, quotes still on
};

// A key line's name and value. Only a line with "=" is a key; ";" starts no comment here.
std::optional<Entry> KeyLine(const std::wstring& text) {
    std::wstring t = Trim(text);
    if (t.empty() || t.front() == L'[')
        return std::nullopt;
    size_t eq = t.find(L'=');
    if (eq == std::wstring::npos)
        return std::nullopt;
    return Entry{Trim(std::wstring_view(t).substr(0, eq)),
                 Trim(std::wstring_view(t).substr(eq + 1))};
}

// Lines [first, end) of a section; `header` is its header line.
struct SectionRange {
    size_t header = 0;
    size_t first = 0;
    size_t end = 0;
};

size_t NextHeader(const IniFile& file, size_t from) {
    while (from < file.lines.size() && !SectionName(file.lines[from].text))
        ++from;
    return from;
}

// The first section named `section`, if any. An empty name is the section of a "[]" header,
// as on Windows; the lines before the first header belong to no section.
std::optional<SectionRange> FindSection(const IniFile& file, std::wstring_view section) {
    std::wstring wanted = Trim(section);
    for (size_t header = NextHeader(file, 0); header < file.lines.size();
         header = NextHeader(file, header + 1)) {
        if (EqualsNoCase(*SectionName(file.lines[header].text), wanted))
            return SectionRange{header, header + 1, NextHeader(file, header + 1)};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const IniFile& file, const SectionRange& range,
                              std::wstring_view key) {
    std::wstring wanted = Trim(key);
    for (size_t i = range.first; i < range.end; ++i) {
        auto entry = KeyLine(file.lines[i].text);
        if (entry && EqualsNoCase(entry->key, wanted))
            return i;
    }
    return std::nullopt;
}

// The parsed file; nothing when it is missing or cannot be read (logged).
std::optional<IniFile> Load(const char* function, const wchar_t* fileName) {
    if (fileName == nullptr || *fileName == 0)
        return std::nullopt;
    std::string data;
    int error = 0;
    ReadResult read = ReadIniFile(PathToNarrow(fileName), data, error);
    if (read == ReadResult::Ok)
        return Parse(data);
    if (read == ReadResult::Failed)
        LogReadFailure(function, fileName, error);
    return std::nullopt;
}

// Copies a zero-separated list into the buffer, Windows style: cut entries are
// terminated, the list ends with a second zero; returns size - 2 when cut.
uint32_t CopyList(const std::vector<std::wstring>& items, wchar_t* buffer, uint32_t size) {
    if (size == 0)
        return 0;
    if (size == 1) {
        buffer[0] = 0;
        return 0;
    }
    uint32_t pos = 0;
    for (const std::wstring& item : items) {
        for (wchar_t c : item) {
            if (pos + 2 >= size) {
                buffer[pos] = 0;
                buffer[pos + 1] = 0;
                return size - 2;
            }
            buffer[pos++] = c;
        }
        if (pos + 2 >= size) {
            buffer[pos] = 0;
            buffer[pos + 1] = 0;
            return size - 2;
        }
        buffer[pos++] = 0;
    }
    buffer[pos] = 0;
    return pos;
}

uint32_t CopyValue(std::wstring_view value, wchar_t* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0)
        return 0;
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    for (size_t i = 0; i < n; ++i)
        buffer[i] = value[i];
    buffer[n] = 0;
    return static_cast<uint32_t>(n);
}

// A key's value with one pair of enclosing quotes removed. As on Windows the value is cut
// with its closing quote still on, and the last character copied is then dropped whenever
// the buffer could hold that much: "abc" into 4 characters gives "ab".
uint32_t CopyKeyValue(std::wstring_view value, wchar_t* buffer, uint32_t size) {
    bool quoted = value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
                  value.back() == value.front();
    if (!quoted)
        return CopyValue(value, buffer, size);
    std::wstring_view rest = value.substr(1);
    uint32_t n = CopyValue(rest, buffer, size);
    if (size >= rest.size() && n > 0)
        buffer[--n] = 0;
    return n;
}

}  // namespace

uint32_t GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key,
                                  const wchar_t* defaultValue, wchar_t* buffer, uint32_t size,
                                  const wchar_t* fileName) {
    if (buffer == nullptr || size == 0)
        return 0;
    // Windows drops trailing blanks from the default.
    std::wstring def = defaultValue ? std::wstring(defaultValue) : std::wstring();
    while (!def.empty() && IsBlank(def.back()))
        def.pop_back();

    std::optional<IniFile> file = Load("GetPrivateProfileStringW", fileName);
    if (section == nullptr) {
        std::vector<std::wstring> names;
        if (file) {
            // An empty name would end the list early; "[]" is read with an empty section
            // name instead.
            for (const Line& line : file->lines)
                if (auto name = SectionName(line.text); name && !name->empty())
                    names.push_back(*name);
        }
        return CopyList(names, buffer, size);
    }
    std::optional<SectionRange> range;
    if (file)
        range = FindSection(*file, section);
    if (key == nullptr) {
        // A key starting with ';' is found by its name but not listed: a commented-out line.
        std::vector<std::wstring> keys;
        if (range) {
            for (size_t i = range->first; i < range->end; ++i)
                if (auto entry = KeyLine(file->lines[i].text); entry && entry->key[0] != L';')
                    keys.push_back(entry->key);
        }
        return CopyList(keys, buffer, size);
    }
    if (range) {
        if (auto index = FindKey(*file, *range, key))
            return CopyKeyValue(KeyLine(file->lines[*index].text)->value, buffer, size);
    }
    return CopyValue(def, buffer, size);
}

int GetPrivateProfileIntW(const wchar_t* section, const wchar_t* key, int defaultValue,
                          const wchar_t* fileName) {
    wchar_t buffer[64] = {0};
    uint32_t n = GetPrivateProfileStringW(section, key, L"", buffer, 64, fileName);
    if (n == 0)
        return defaultValue;
    const wchar_t* p = buffer;
    bool negative = false;
    if (*p == L'-' || *p == L'+')
        negative = *p++ == L'-';
    // Windows takes the prefixes in lower case only: "0X1F" reads as 0.
    int base = 10;
    if (p[0] == L'0') {
        base = p[1] == L'x' ? 16 : p[1] == L'o' ? 8 : p[1] == L'b' ? 2 : 10;
        if (base != 10)
            p += 2;
    }
    uint32_t value = 0;  // wraps like the original
    for (int d = HexDigit(*p); d >= 0 && d < base; d = HexDigit(*++p))
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
    return static_cast<int>(negative ? 0u - value : value);
}

bool WritePrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                                const wchar_t* fileName) {
    if (section == nullptr || fileName == nullptr || *fileName == 0)
        return false;
    std::string path = PathToNarrow(fileName);
    std::string data;
    IniFile file;
    int error = 0;
    ReadResult read = ReadIniFile(path, data, error);
    if (read == ReadResult::Failed) {
        // Writing what could be read would lose the rest.
        LogReadFailure("WritePrivateProfileStringW", fileName, error);
        return false;
    }
    if (read == ReadResult::Ok)
        file = Parse(data);

    std::string eol = "\r\n";
    for (const Line& line : file.lines)
        if (!line.eol.empty()) {
            eol = file.encoding == Encoding::Utf16Le
                      ? Encode(Encoding::Utf8, Decode(Encoding::Utf16Le, line.eol))
                      : line.eol;
            break;
        }
    auto makeLine = [&](const std::wstring& text) {
        return Line{Encode(file.encoding, text),
                    file.encoding == Encoding::Utf16Le ? EncodeUtf16Le(Utf8ToWide(eol)) : eol,
                    text};
    };

    auto range = FindSection(file, section);
    if (key == nullptr) {
        if (!range)
            return true;
        file.lines.erase(file.lines.begin() + static_cast<long>(range->header),
                         file.lines.begin() + static_cast<long>(range->end));
    } else if (!range) {
        if (value == nullptr)
            return true;
        if (!file.lines.empty() && file.lines.back().eol.empty())
            file.lines.back().eol = makeLine(L"").eol;
        file.lines.push_back(makeLine(L"[" + std::wstring(section) + L"]"));
        file.lines.push_back(makeLine(std::wstring(key) + L"=" + value));
    } else if (auto index = FindKey(file, *range, key)) {
        if (value == nullptr) {
            file.lines.erase(file.lines.begin() + static_cast<long>(*index));
        } else {
            // The key keeps the spelling the file gave it.
            Line replaced = makeLine(KeyLine(file.lines[*index].text)->key + L"=" + value);
            replaced.eol = file.lines[*index].eol;
            file.lines[*index] = replaced;
        }
    } else {
        if (value == nullptr)
            return true;
        // After the section's last non-blank line.
        size_t at = range->end;
        while (at > range->first && Trim(file.lines[at - 1].text).empty())
            --at;
        if (at > 0 && file.lines[at - 1].eol.empty())
            file.lines[at - 1].eol = makeLine(L"").eol;
        file.lines.insert(file.lines.begin() + static_cast<long>(at),
                          makeLine(std::wstring(key) + L"=" + value));
    }

    std::string out;
    if (file.encoding == Encoding::Utf16Le)
        out = "\xFF\xFE";
    if (file.encoding == Encoding::Utf8Bom)
        out = "\xEF\xBB\xBF";
    for (const Line& line : file.lines)
        out += line.raw + line.eol;
    // A failure is logged by the file layer; the file stays as it was.
    return ReplaceFileAtomically(path, out) == 0;
}

}  // namespace platform
