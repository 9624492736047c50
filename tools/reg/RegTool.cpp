#include "tools/reg/RegTool.h"

#include <unistd.h>

#include <cerrno>
#include <cwchar>
#include <cwctype>
#include <fstream>
#include <iterator>

#include "platform/Registry.h"
#include "platform/Text.h"

using namespace platform;

namespace {

const wchar_t kNotFound[] =
    L"ERROR: The system was unable to find the specified registry key or value.\n";
const wchar_t kDone[] = L"The operation completed successfully.\n";

// Operations, switches and type names in any case, the same under every locale.
std::wstring Upper(const std::wstring& s) {
    return FoldName(s);
}

struct TypeName {
    const wchar_t* name;
    uint32_t type;
};
constexpr TypeName kTypes[] = {
    {L"REG_SZ", REG_SZ},       {L"REG_EXPAND_SZ", REG_EXPAND_SZ}, {L"REG_MULTI_SZ", REG_MULTI_SZ},
    {L"REG_DWORD", REG_DWORD}, {L"REG_QWORD", REG_QWORD},         {L"REG_BINARY", REG_BINARY},
    {L"REG_NONE", REG_NONE},
};

std::wstring TypeText(uint32_t type) {
    for (const TypeName& t : kTypes) {
        if (t.type == type)
            return t.name;
    }
    wchar_t buf[32];
    std::swprintf(buf, 32, L"REG_0x%x", type);
    return buf;
}

std::wstring DataText(uint32_t type, const std::vector<uint8_t>& data) {
    wchar_t buf[32];
    if ((type == REG_DWORD && data.size() == 4) || (type == REG_QWORD && data.size() == 8)) {
        unsigned long long v = 0;
        for (size_t i = data.size(); i-- > 0;)
            v = (v << 8) | data[i];
        std::swprintf(buf, 32, L"0x%llx", v);
        return buf;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::wstring text = RegBytesToString(data.data(), data.size());
        if (type != REG_MULTI_SZ)
            return text.substr(0, text.find(L'\0'));
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        std::wstring out;
        for (wchar_t c : text) {
            if (c == L'\0') {
                out += L"\\0";
            } else {
                out.push_back(c);
            }
        }
        return out;
    }
    std::wstring out;
    for (uint8_t b : data) {
        std::swprintf(buf, 32, L"%02X", b);
        out += buf;
    }
    return out;
}

bool ParseNumber(const std::wstring& text, unsigned long long max, unsigned long long& out) {
    if (text.empty())
        return false;
    const wchar_t* begin = text.c_str();
    int base = 10;
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        begin += 2;
        base = 16;
    }
    if (!std::iswxdigit(static_cast<wint_t>(*begin)))
        return false;
    wchar_t* end = nullptr;
    errno = 0;
    out = std::wcstoull(begin, &end, base);
    return errno == 0 && *end == L'\0' && out <= max;
}

// The bytes /d gives for a type; false when the text does not fit it.
bool DataBytes(uint32_t type, const std::wstring& data, const std::wstring& separator,
               std::vector<uint8_t>& out) {
    out.clear();
    unsigned long long n = 0;
    switch (type) {
        case REG_DWORD:
        case REG_QWORD: {
            size_t width = type == REG_DWORD ? 4 : 8;
            if (!ParseNumber(data, type == REG_DWORD ? 0xFFFFFFFFull : ~0ull, n))
                return false;
            for (size_t i = 0; i < width; ++i)
                out.push_back(static_cast<uint8_t>(n >> (8 * i)));
            return true;
        }
        case REG_BINARY: {
            if (data.size() % 2 != 0)
                return false;
            for (size_t i = 0; i < data.size(); i += 2) {
                std::wstring pair = data.substr(i, 2);
                if (!std::iswxdigit(static_cast<wint_t>(pair[0])) ||
                    !std::iswxdigit(static_cast<wint_t>(pair[1]))) {
                    return false;
                }
                out.push_back(static_cast<uint8_t>(std::wcstoul(pair.c_str(), nullptr, 16)));
            }
            return true;
        }
        case REG_MULTI_SZ: {
            if (separator.empty())
                return false;
            std::wstring block;
            size_t pos = 0;
            while (pos < data.size()) {
                size_t next = data.find(separator, pos);
                std::wstring item =
                    data.substr(pos, next == std::wstring::npos ? next : next - pos);
                if (item.empty() && next != std::wstring::npos)
                    return false;  // empty item
                block += item;
                block.push_back(L'\0');
                if (next == std::wstring::npos)
                    break;
                pos = next + separator.size();
            }
            block.push_back(L'\0');
            out = RegStringBytes(block, false);
            return true;
        }
        default:
            out = RegStringBytes(data, true);
            return true;
    }
}

// Splits "ROOT\path" into its root and path.
HKEY ParseKey(const std::wstring& key, std::wstring& path, std::wstring& rootName) {
    size_t slash = key.find(L'\\');
    HKEY root = RootKeyFromName(key.substr(0, slash));
    path = slash == std::wstring::npos ? std::wstring() : key.substr(slash + 1);
    rootName = GetRootKeyName(root);
    return root;
}

struct KeyHolder {
    HKEY key = nullptr;
    ~KeyHolder() {
        if (key)
            RegCloseKey(key);
    }
};

struct ValueEntry {
    std::wstring name;
    uint32_t type = REG_NONE;
    std::vector<uint8_t> data;
};

std::vector<ValueEntry> ListValues(HKEY key) {
    std::vector<ValueEntry> values;
    std::vector<wchar_t> name(kMaxValueNameLength + 1);
    for (uint32_t i = 0;; ++i) {
        ValueEntry v;
        uint32_t chars = static_cast<uint32_t>(name.size());
        uint32_t size = 0;
        if (RegEnumValueW(key, i, name.data(), &chars, nullptr, &v.type, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        v.name.assign(name.data(), chars);
        v.data.resize(size);
        if (RegQueryValueExW(key, v.name.c_str(), nullptr, &v.type, v.data.data(), &size) ==
            ERROR_SUCCESS) {
            v.data.resize(size);
            values.push_back(std::move(v));
        }
    }
    return values;
}

std::vector<std::wstring> ListSubkeys(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[kMaxKeyNameLength + 1];
    for (uint32_t i = 0;; ++i) {
        uint32_t chars = kMaxKeyNameLength + 1;
        if (RegEnumKeyExW(key, i, name, &chars) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, chars);
    }
    return names;
}

std::wstring ValueLine(const ValueEntry& v) {
    return L"    " + (v.name.empty() ? std::wstring(L"(Default)") : v.name) + L"    " +
           TypeText(v.type) + L"    " + DataText(v.type, v.data) + L"\n";
}

LSTATUS DeleteTree(HKEY parent, const std::wstring& name, uint32_t view) {
    HKEY sub = nullptr;
    if (LSTATUS s = RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS | view, &sub))
        return s;
    LSTATUS status = ERROR_SUCCESS;
    for (const std::wstring& child : ListSubkeys(sub)) {
        if ((status = DeleteTree(sub, child, view)) != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(sub);
    if (status != ERROR_SUCCESS)
        return status;
    return RegDeleteKeyExW(parent, name.c_str(), view, 0);
}

}  // namespace

CRegTool::CRegTool(WriteFn out, WriteFn err, AskFn ask)
    : m_fnOut(std::move(out)), m_fnErr(std::move(err)), m_fnAsk(std::move(ask)) {}

int CRegTool::Fail(const std::wstring& message) {
    m_fnErr(message);
    return 1;
}

int CRegTool::Syntax() {
    return Fail(L"ERROR: Invalid syntax.\nType \"REG " + Upper(m_strOperation) +
                L" /?\" for usage.\n");
}

int CRegTool::Run(const std::vector<std::wstring>& args) {
    if (args.empty()) {
        return Fail(
            L"ERROR: Invalid syntax.\nUsage: reg query|add|delete|export KEY [options], reg import "
            L"FILE\n");
    }
    m_strOperation = Upper(args[0]);
    if (args.size() < 2)
        return Syntax();
    m_strKey = args[1];
    size_t first = 2;
    if (m_strOperation == L"IMPORT") {
        m_strFile = args[1];
    } else if (m_strOperation == L"EXPORT") {
        if (args.size() < 3)
            return Syntax();
        m_strFile = args[2];
        first = 3;
    }
    for (size_t i = first; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (a.size() < 2 || (a[0] != L'/' && a[0] != L'-'))
            return Syntax();
        std::wstring sw = Upper(a.substr(1));
        bool hasNext = i + 1 < args.size();
        if (sw == L"V" && hasNext && !m_bValue) {
            m_bValue = true;
            m_strValueName = args[++i];
        } else if (sw == L"VE" && !m_bValue) {
            m_bValue = true;
            m_strValueName.clear();
        } else if (sw == L"VA" && m_strOperation == L"DELETE") {
            m_bAllValues = true;
        } else if (sw == L"T" && hasNext && m_strOperation == L"ADD") {
            m_strType = Upper(args[++i]);
        } else if (sw == L"D" && hasNext && m_strOperation == L"ADD") {
            m_bData = true;
            m_strData = args[++i];
        } else if (sw == L"S" && m_strOperation == L"ADD" && hasNext) {
            m_bSeparator = true;
            m_strSeparator = args[++i];
        } else if (sw == L"S" && m_strOperation == L"QUERY") {
            m_bSeparator = true;
        } else if (sw == L"F" && (m_strOperation == L"ADD" || m_strOperation == L"DELETE")) {
            m_bForce = true;
        } else if (sw == L"Y" && m_strOperation == L"EXPORT") {
            m_bForce = true;
        } else if (sw == L"REG:32") {
            m_uView = KEY_WOW64_32KEY;
        } else if (sw == L"REG:64") {
            m_uView = KEY_WOW64_64KEY;
        } else {
            return Syntax();
        }
    }
    if (m_bValue && m_bAllValues)
        return Syntax();
    if (m_strOperation == L"QUERY")
        return Query();
    if (m_strOperation == L"ADD")
        return Add();
    if (m_strOperation == L"DELETE")
        return Delete();
    if (m_strOperation == L"EXPORT")
        return Export();
    if (m_strOperation == L"IMPORT")
        return m_uView == 0 && args.size() == 2 ? Import() : Syntax();
    return Fail(
        L"ERROR: Invalid syntax.\nUsage: reg query|add|delete|export KEY [options], reg import "
        L"FILE\n");
}

int CRegTool::Query() {
    std::wstring path, rootName;
    HKEY root = ParseKey(m_strKey, path, rootName);
    if (root == nullptr)
        return Fail(L"ERROR: Invalid key name.\n");
    KeyHolder key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | m_uView, &key.key) != ERROR_SUCCESS) {
        return Fail(kNotFound);
    }
    std::wstring fullName = path.empty() ? rootName : rootName + L"\\" + path;
    if (m_bValue) {
        for (const ValueEntry& v : ListValues(key.key)) {
            if (EqualsNoCase(v.name, m_strValueName)) {
                m_fnOut(L"\n" + fullName + L"\n" + ValueLine(v) + L"\n");
                return 0;
            }
        }
        return Fail(kNotFound);
    }
    // One key: its values, then its subkeys' names; with /s every key below, depth first.
    std::function<void(HKEY, const std::wstring&)> show = [&](HKEY k, const std::wstring& name) {
        std::wstring text = L"\n" + name + L"\n";
        for (const ValueEntry& v : ListValues(k))
            text += ValueLine(v);
        m_fnOut(text);
        for (const std::wstring& child : ListSubkeys(k)) {
            if (!m_bSeparator) {
                m_fnOut(name + L"\\" + child + L"\n");
                continue;
            }
            KeyHolder sub;
            if (RegOpenKeyExW(k, child.c_str(), 0, KEY_READ | m_uView, &sub.key) == ERROR_SUCCESS) {
                show(sub.key, name + L"\\" + child);
            }
        }
    };
    show(key.key, fullName);
    return 0;
}

int CRegTool::Add() {
    std::wstring path, rootName;
    HKEY root = ParseKey(m_strKey, path, rootName);
    if (root == nullptr)
        return Fail(L"ERROR: Invalid key name.\n");
    uint32_t type = REG_NONE;
    bool known = false;
    for (const TypeName& t : kTypes) {
        if (m_strType == t.name) {
            type = t.type;
            known = true;
        }
    }
    if (!known)
        return Fail(L"ERROR: Invalid syntax.\nUnknown type " + m_strType + L".\n");
    if (m_bSeparator && type != REG_MULTI_SZ)
        return Syntax();
    std::vector<uint8_t> bytes;
    if (m_bValue && !DataBytes(type, m_strData, m_strSeparator, bytes)) {
        return Fail(L"ERROR: Invalid value data for " + m_strType + L".\n");
    }
    if ((m_bData || m_strType != L"REG_SZ") && !m_bValue)
        return Syntax();

    KeyHolder key;
    LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS | m_uView, nullptr, &key.key, nullptr);
    if (status != ERROR_SUCCESS)
        return Report(status);
    if (m_bValue) {
        uint32_t size = 0;
        bool exists = RegQueryValueExW(key.key, m_strValueName.c_str(), nullptr, nullptr, nullptr,
                                       &size) == ERROR_SUCCESS;
        if (exists && !m_bForce &&
            !m_fnAsk(L"Value " + (m_strValueName.empty() ? L"(Default)" : m_strValueName) +
                     L" exists, overwrite(Yes/No)? ")) {
            return Fail(L"The operation was cancelled by the user.\n");
        }
        status = RegSetValueExW(key.key, m_strValueName.c_str(), 0, type, bytes.data(),
                                static_cast<uint32_t>(bytes.size()));
    }
    return Report(status);
}

int CRegTool::Delete() {
    std::wstring path, rootName;
    HKEY root = ParseKey(m_strKey, path, rootName);
    if (root == nullptr)
        return Fail(L"ERROR: Invalid key name.\n");
    bool wholeKey = !m_bValue && !m_bAllValues;
    if (wholeKey && path.empty())
        return Fail(L"ERROR: Access is denied.\n");  // not a root
    KeyHolder key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | m_uView, &key.key) != ERROR_SUCCESS) {
        return Fail(kNotFound);
    }
    std::wstring fullName = path.empty() ? rootName : rootName + L"\\" + path;
    std::wstring question;
    if (wholeKey) {
        question = L"Permanently delete the registry key " + fullName + L" (Yes/No)? ";
    } else if (m_bAllValues) {
        question = L"Delete all values under the registry key " + fullName + L" (Yes/No)? ";
    } else {
        question = L"Delete the registry value " +
                   (m_strValueName.empty() ? L"(Default)" : m_strValueName) + L" (Yes/No)? ";
    }
    if (!m_bForce && !m_fnAsk(question)) {
        return Fail(L"The operation was cancelled by the user.\n");
    }
    LSTATUS status = ERROR_SUCCESS;
    if (wholeKey) {
        RegCloseKey(key.key);
        key.key = nullptr;
        status = DeleteTree(root, path, m_uView);
    } else if (m_bAllValues) {
        for (const ValueEntry& v : ListValues(key.key)) {
            if ((status = RegDeleteValueW(key.key, v.name.c_str())) != ERROR_SUCCESS)
                break;
        }
    } else {
        status = RegDeleteValueW(key.key, m_strValueName.c_str());
    }
    if (status == ERROR_FILE_NOT_FOUND)
        return Fail(kNotFound);
    return Report(status);
}

int CRegTool::Report(LSTATUS status) {
    if (status == ERROR_ACCESS_DENIED)
        return Fail(L"ERROR: Access is denied.\n");
    if (status == ERROR_BADDB) {
        return Fail(
            L"ERROR: The configuration registry database is corrupt: repair the lines "
            L"the log names first.\n");
    }
    if (status != ERROR_SUCCESS) {
        return Fail(L"ERROR: The registry could not be changed (error " + std::to_wstring(status) +
                    L").\n");
    }
    m_fnOut(kDone);
    return 0;
}

int CRegTool::Export() {
    std::wstring path, rootName;
    HKEY root = ParseKey(m_strKey, path, rootName);
    if (root == nullptr)
        return Fail(L"ERROR: Invalid key name.\n");
    std::wstring text;
    if (RegExportKey(root, path.c_str(), m_uView, text) != ERROR_SUCCESS)
        return Fail(kNotFound);
    std::string file = PathToNarrow(m_strFile);
    if (::access(file.c_str(), F_OK) == 0 && !m_bForce &&
        !m_fnAsk(L"File " + m_strFile + L" already exists. Overwrite (Yes/No)?")) {
        return Fail(L"The operation was cancelled by the user.\n");
    }
    std::vector<uint8_t> bytes{0xFF, 0xFE};
    std::vector<uint8_t> body = RegStringBytes(text, false);
    bytes.insert(bytes.end(), body.begin(), body.end());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        return Fail(L"ERROR: Cannot write " + m_strFile + L".\n");
    m_fnOut(kDone);
    return 0;
}

int CRegTool::Import() {
    std::ifstream in(PathToNarrow(m_strFile), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad())
        return Fail(L"ERROR: Error opening the file " + m_strFile + L".\n");
    size_t badLine = 0;
    LSTATUS status = RegImportFile(bytes, badLine);
    if (status == ERROR_BADDB) {
        return Fail(badLine == 0 ? L"ERROR: " + m_strFile + L" is not a registry file.\n"
                                 : L"ERROR: " + m_strFile + L" line " + std::to_wstring(badLine) +
                                       L" does not parse; nothing was imported.\n");
    }
    return Report(status);
}
