#include "app/ComponentLoader.h"

#include <cstdlib>

#include "platform/Module.h"
#include "platform/Text.h"
#include "sys/DebugLog.h"
#include "sys/TextHelpers.h"

CComponentLoader::CComponentLoader() = default;

CComponentLoader::~CComponentLoader() {
    for (int i = kSlotCount - 1; i >= 0; --i) {
        platform::FreeSharedModule(m_slots[i].hModule);
        m_slots[i] = Slot();
    }
}

std::wstring CComponentLoader::ModuleFileName(const std::wstring& baseName) {
    return baseName + platform::SharedModuleSuffix();
}

std::wstring CComponentLoader::SearchedFolders() {
    std::wstring folders = GetExeDirectory();
#ifndef _WIN32
    const char* extra = std::getenv("LD_LIBRARY_PATH");
    if (extra != nullptr && extra[0] != '\0')
        folders += L", LD_LIBRARY_PATH=" + platform::PathFromNarrow(extra);
    folders += L", the system's library folders";
#endif
    return folders;
}

void* CComponentLoader::LoadModule(const std::wstring& fileName, std::string* error) {
    // The executable's own folder first, so a copy elsewhere on the system never wins.
    std::string firstError;
    if (void* h = platform::LoadSharedModule(GetExeDirectory() + L"/" + fileName, &firstError))
        return h;
#ifdef _WIN32
    // Only there: a module of that name in a folder of the search path (the current one,
    // PATH) could be anybody's.
    if (error != nullptr)
        *error = firstError;
    return nullptr;
#else
    std::string secondError;
    if (void* h = platform::LoadSharedModule(fileName, &secondError))
        return h;
    if (error != nullptr) {
        // A module that exists but does not load says why in the first message; otherwise
        // both only say "not found" and the second is as good.
        *error = firstError.find("No such file") == std::string::npos ? firstError : secondError;
    }
    return nullptr;
#endif
}

bool CComponentLoader::CreateInstance(int slot, const std::wstring& fileName,
                                      SOUI::IObject** ppObj) {
    Slot& s = m_slots[slot];
    if (s.pfnCreate == nullptr) {
        std::string error;
        void* h = LoadModule(fileName, &error);
        if (h == nullptr) {
            DebugLog(L"%s 无法加载组件 %s (已搜索: %s): %s", L"CComponentLoader::CreateInstance",
                     fileName.c_str(), SearchedFolders().c_str(),
                     platform::Utf8ToWide(error).c_str());
            return false;
        }
        auto fn = reinterpret_cast<SOUI::FunSCreateInstance>(
            platform::FindModuleSymbol(h, "SCreateInstance"));
        if (fn == nullptr) {
            DebugLog(L"%s 组件 %s 没有导出 SCreateInstance", L"CComponentLoader::CreateInstance",
                     fileName.c_str());
            platform::FreeSharedModule(h);
            return false;
        }
        s.hModule = h;
        s.pfnCreate = fn;
        s.strFileName = fileName;
    }
    SOUI::IObject* obj = nullptr;
    if (!s.pfnCreate(&obj) || obj == nullptr) {
        DebugLog(L"%s 组件 %s 创建失败", L"CComponentLoader::CreateInstance", fileName.c_str());
        return false;
    }
    *ppObj = obj;
    return true;
}

bool CComponentLoader::CreateRender(SOUI::IRenderFactory** ppObj) {
    SOUI::IObject* obj = nullptr;
    if (!CreateInstance(kSlotRender, ModuleFileName(L"render-cairo"), &obj))
        return false;
    *ppObj = static_cast<SOUI::IRenderFactory*>(obj);
    return true;
}

bool CComponentLoader::CreateImgDecoder(SOUI::IImgDecoderFactory** ppObj) {
    SOUI::IObject* obj = nullptr;
    if (!CreateInstance(kSlotImgDecoder, ModuleFileName(m_strImgDecoderName), &obj))
        return false;
    *ppObj = static_cast<SOUI::IImgDecoderFactory*>(obj);
    return true;
}

bool CComponentLoader::CreateTranslator(SOUI::ITranslatorMgr** ppObj) {
    SOUI::IObject* obj = nullptr;
    if (!CreateInstance(kSlotTranslator, ModuleFileName(L"translator"), &obj))
        return false;
    *ppObj = static_cast<SOUI::ITranslatorMgr*>(obj);
    return true;
}
