#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "platform/Text.h"

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

bool ReadWholeFile(const std::string& path, std::string& data) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    data.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

std::wstring DecodeUtf16Le(std::string_view bytes) {
    std::wstring out;
    size_t i = 0;
    while (i + 1 < bytes.size()) {
        char32_t u = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < bytes.size()) {
            char32_t lo = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            } else {
                u = 0xFFFD;
            }
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        out.push_back(static_cast<wchar_t>(u));
    }
    return out;
}

std::string EncodeUtf16Le(std::wstring_view text) {
    std::string out;
    auto unit = [&out](char32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>((u >> 8) & 0xFF));
    };
    for (wchar_t ch : text) {
        char32_t c = static_cast<char32_t>(ch);
        if (c > 0xFFFF && c <= 0x10FFFF) {
            c -= 0x10000;
            unit(0xD800 + (c >> 10));
            unit(0xDC00 + (c & 0x3FF));
        } else {
            unit(c > 0x10FFFF ? 0xFFFD : c);
        }
    }
    return out;
}

std::wstring Decode(Encoding enc, std::string_view raw) {
    if (enc == Encoding::Utf16Le) return DecodeUtf16Le(raw);
    // Utf8ToWide stops at a zero byte; a zero inside an INI line just ends its text.
    return Utf8ToWide(raw);
}

std::string Encode(Encoding enc, std::wstring_view text) {
    return enc == Encoding::Utf16Le ? EncodeUtf16Le(text) : WideToUtf8(text);
}

// Splits the file into lines, keeping each line's bytes and its end verbatim.
IniFile Parse(const std::string& data) {
    IniFile file;
    size_t start = 0;
    if (data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0xFF &&
        static_cast<unsigned char>(data[1]) == 0xFE) {
        file.encoding = Encoding::Utf16Le;
        start = 2;
        size_t i = start, lineStart = start;
        while (i + 1 < data.size() || lineStart < data.size()) {
            if (i + 1 >= data.size()) {
                file.lines.push_back(Line{data.substr(lineStart), "", {}});
                break;
            }
            bool cr = data[i] == '\r' && data[i + 1] == 0;
            bool lf = data[i] == '\n' && data[i + 1] == 0;
            if (cr || lf) {
                std::string eol = data.substr(i, 2);
                size_t next = i + 2;
                if (cr && next + 1 < data.size() && data[next] == '\n' && data[next + 1] == 0) {
                    eol += data.substr(next, 2);
                    next += 2;
                }
                file.lines.push_back(Line{data.substr(lineStart, i - lineStart), eol, {}});
                lineStart = i = next;
                if (lineStart >= data.size()) break;
            } else {
                i += 2;
            }
        }
    } else {
        if (data.size() >= 3 && data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            file.encoding = Encoding::Utf8Bom;
            start = 3;
        }
        size_t lineStart = start;
        for (size_t i = start; i < data.size(); ++i) {
            if (data[i] != '\n' && data[i] != '\r') continue;
            size_t next = i + 1;
            if (data[i] == '\r' && next < data.size() && data[next] == '\n') ++next;
            file.lines.push_back(Line{data.substr(lineStart, i - lineStart), data.substr(i, next - i), {}});
            lineStart = next;
            i = next - 1;
        }
        if (lineStart < data.size()) file.lines.push_back(Line{data.substr(lineStart), "", {}});
    }
    for (Line& line : file.lines) line.text = Decode(file.encoding, line.raw);
    return file;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\v' || c == L'\f' || c == 0xFEFF; }

std::wstring Trim(std::wstring_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return std::wstring(s.substr(b, e - b));
}

// A section header's name, if the line is one.
std::optional<std::wstring> SectionName(const std::wstring& text) {
    std::wstring t = Trim(text);
    if (t.empty() || t.front() != L'[') return std::nullopt;
    size_t close = t.find(L']');
    if (close == std::wstring::npos) close = t.size();
    return Trim(std::wstring_view(t).substr(1, close - 1));
}

struct Entry {
    std::wstring key;
    std::wstring value;
};

// A key line's name and value (comments and blank lines give nothing).
std::optional<Entry> KeyLine(const std::wstring& text) {
    std::wstring t = Trim(text);
    if (t.empty() || t.front() == L';' || t.front() == L'[') return std::nullopt;
    size_t eq = t.find(L'=');
    if (eq == std::wstring::npos) return Entry{t, L""};
    Entry e{Trim(std::wstring_view(t).substr(0, eq)), Trim(std::wstring_view(t).substr(eq + 1))};
    if (e.value.size() >= 2 && (e.value.front() == L'"' || e.value.front() == L'\'') &&
        e.value.back() == e.value.front())
        e.value = e.value.substr(1, e.value.size() - 2);
    return e;
}

// Index range [first, end) of the lines of the first section named `section`; the
// header line is first - 1. Nothing when the section is missing.
std::optional<std::pair<size_t, size_t>> FindSection(const IniFile& file, std::wstring_view section) {
    for (size_t i = 0; i < file.lines.size(); ++i) {
        auto name = SectionName(file.lines[i].text);
        if (!name || !EqualsNoCase(*name, Trim(section))) continue;
        size_t end = i + 1;
        while (end < file.lines.size() && !SectionName(file.lines[end].text)) ++end;
        return std::make_pair(i + 1, end);
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const IniFile& file, std::pair<size_t, size_t> range, std::wstring_view key) {
    for (size_t i = range.first; i < range.second; ++i) {
        auto entry = KeyLine(file.lines[i].text);
        if (entry && EqualsNoCase(entry->key, Trim(key))) return i;
    }
    return std::nullopt;
}

std::optional<IniFile> Load(const wchar_t* fileName) {
    if (fileName == nullptr || *fileName == 0) return std::nullopt;
    std::string data;
    if (!ReadWholeFile(PathToNarrow(fileName), data)) return std::nullopt;
    return Parse(data);
}

// Copies a zero-separated list into the buffer, Windows style: cut entries are
// terminated, the list ends with a second zero; returns size - 2 when cut.
uint32_t CopyList(const std::vector<std::wstring>& items, wchar_t* buffer, uint32_t size) {
    if (size == 0) return 0;
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
    if (buffer == nullptr || size == 0) return 0;
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    for (size_t i = 0; i < n; ++i) buffer[i] = value[i];
    buffer[n] = 0;
    return static_cast<uint32_t>(n);
}

bool WriteAtomically(const std::string& path, const std::string& data) {
    std::string tmp = path + ".tmpXXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    struct stat st {};
    mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);
    size_t done = 0;
    bool ok = true;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(name.data(), path.c_str()) != 0) ok = false;
    if (!ok) ::unlink(name.data());
    return ok;
}

}  // namespace

uint32_t GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue,
                                  wchar_t* buffer, uint32_t size, const wchar_t* fileName) {
    if (buffer == nullptr || size == 0) return 0;
    // Windows drops trailing blanks from the default.
    std::wstring def = defaultValue ? std::wstring(defaultValue) : std::wstring();
    while (!def.empty() && IsBlank(def.back())) def.pop_back();

    std::optional<IniFile> file = Load(fileName);
    if (section == nullptr) {
        std::vector<std::wstring> names;
        if (file)
            for (const Line& line : file->lines)
                if (auto name = SectionName(line.text)) names.push_back(*name);
        return CopyList(names, buffer, size);
    }
    std::optional<std::pair<size_t, size_t>> range;
    if (file) range = FindSection(*file, section);
    if (key == nullptr) {
        std::vector<std::wstring> keys;
        if (range)
            for (size_t i = range->first; i < range->second; ++i)
                if (auto entry = KeyLine(file->lines[i].text)) keys.push_back(entry->key);
        return CopyList(keys, buffer, size);
    }
    if (range) {
        if (auto index = FindKey(*file, *range, key)) {
            return CopyValue(KeyLine(file->lines[*index].text)->value, buffer, size);
        }
    }
    return CopyValue(def, buffer, size);
}

int GetPrivateProfileIntW(const wchar_t* section, const wchar_t* key, int defaultValue, const wchar_t* fileName) {
    wchar_t buffer[64] = {0};
    uint32_t n = GetPrivateProfileStringW(section, key, L"", buffer, 64, fileName);
    if (n == 0) return defaultValue;
    uint32_t value = 0;
    for (uint32_t i = 0; i < n && buffer[i] >= L'0' && buffer[i] <= L'9'; ++i)
        value = value * 10u + static_cast<uint32_t>(buffer[i] - L'0');  // wraps like the original
    return static_cast<int>(value);
}

bool WritePrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                                const wchar_t* fileName) {
    if (section == nullptr || fileName == nullptr || *fileName == 0) return false;
    std::string path = PathToNarrow(fileName);
    std::string data;
    IniFile file;
    bool exists = ReadWholeFile(path, data);
    if (exists) file = Parse(data);

    std::string eol = "\r\n";
    for (const Line& line : file.lines)
        if (!line.eol.empty()) {
            eol = file.encoding == Encoding::Utf16Le ? Encode(Encoding::Utf8, Decode(Encoding::Utf16Le, line.eol))
                                                     : line.eol;
            break;
        }
    auto makeLine = [&](const std::wstring& text) {
        return Line{Encode(file.encoding, text),
                    file.encoding == Encoding::Utf16Le ? EncodeUtf16Le(Utf8ToWide(eol)) : eol, text};
    };

    auto range = FindSection(file, section);
    if (key == nullptr) {
        if (!range) return true;
        file.lines.erase(file.lines.begin() + static_cast<long>(range->first - 1),
                         file.lines.begin() + static_cast<long>(range->second));
    } else if (!range) {
        if (value == nullptr) return true;
        if (!file.lines.empty() && file.lines.back().eol.empty())
            file.lines.back().eol = makeLine(L"").eol;
        file.lines.push_back(makeLine(L"[" + std::wstring(section) + L"]"));
        file.lines.push_back(makeLine(std::wstring(key) + L"=" + value));
    } else if (auto index = FindKey(file, *range, key)) {
        if (value == nullptr) {
            file.lines.erase(file.lines.begin() + static_cast<long>(*index));
        } else {
            Line replaced = makeLine(std::wstring(key) + L"=" + value);
            replaced.eol = file.lines[*index].eol;
            file.lines[*index] = replaced;
        }
    } else {
        if (value == nullptr) return true;
        // After the section's last non-blank line.
        size_t at = range->second;
        while (at > range->first && Trim(file.lines[at - 1].text).empty()) --at;
        if (at > 0 && file.lines[at - 1].eol.empty()) file.lines[at - 1].eol = makeLine(L"").eol;
        file.lines.insert(file.lines.begin() + static_cast<long>(at), makeLine(std::wstring(key) + L"=" + value));
    }

    std::string out;
    if (file.encoding == Encoding::Utf16Le) out = "\xFF\xFE";
    if (file.encoding == Encoding::Utf8Bom) out = "\xEF\xBB\xBF";
    for (const Line& line : file.lines) out += line.raw + line.eol;
    return WriteAtomically(path, out);
}

}  // namespace platform
