#pragma once
// The reg command over the registry store (see platform/Registry.h for where the hives live):
//
//   reg query  KEY [/v NAME | /ve] [/s] [/reg:32 | /reg:64]
//   reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f] [/reg:32 | /reg:64]
//   reg delete KEY [/v NAME | /ve | /va] [/f] [/reg:32 | /reg:64]
//   reg export KEY FILE [/y] [/reg:32 | /reg:64]
//   reg import FILE
//
// KEY is ROOT\path with ROOT one of HKLM, HKCU, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER. TYPE is
// REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ (items split at SEPARATOR, "\0" by default),
// REG_DWORD, REG_QWORD (decimal or 0x hex) or REG_BINARY (hex digits). Switches may start with
// '/' or '-' and ignore case. Without /f, overwriting a value or deleting asks first.
// export and import exchange files in regedit's own form (UTF-16LE with BOM, CRLF line ends;
// import also reads UTF-8); export asks before replacing a file unless /y is given.
// Exit code 0 on success, 1 on any failure.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CRegTool {
public:
    using WriteFn = std::function<void(const std::wstring&)>;
    // Shows the question and answers whether the user said yes.
    using AskFn = std::function<bool(const std::wstring&)>;

    CRegTool(WriteFn out, WriteFn err, AskFn ask);

    // `args` without the program name. Returns the exit code.
    int Run(const std::vector<std::wstring>& args);

private:
    int Query();
    int Add();
    int Delete();
    int Export();
    int Import();
    int Fail(const std::wstring& message);
    // The end of a change: the message for `status`, and its exit code.
    int Report(int32_t status);
    int Syntax();

    WriteFn m_fnOut;
    WriteFn m_fnErr;
    AskFn m_fnAsk;

    // The parsed command line.
    std::wstring m_strOperation;
    std::wstring m_strKey;
    std::wstring m_strValueName;
    std::wstring m_strType = L"REG_SZ";
    std::wstring m_strSeparator = L"\\0";
    std::wstring m_strData;
    std::wstring m_strFile;     // export, import
    bool m_bValue = false;      // /v or /ve given
    bool m_bAllValues = false;  // /va
    bool m_bSeparator = false;  // /s with a separator (add) or recursion (query)
    bool m_bData = false;
    bool m_bForce = false;  // /f, or /y for export
    uint32_t m_uView = 0;   // KEY_WOW64_32KEY or KEY_WOW64_64KEY
};
