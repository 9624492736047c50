#include "app/ComponentLoader.h"

#include <dlfcn.h>

#include <cstdlib>

#include "platform/Text.h"
#include "sys/DebugLog.h"
#include "sys/TextHelpers.h"

CComponentLoader::CComponentLoader() = default;

CComponentLoader::~CComponentLoader() {
    for (int i = kSlotCount - 1; i >= 0; --i) {
        if (m_slots[i].hModule != nullptr)
            ::dlclose(m_slots[i].hModule);
        m_slots[i] = Slot();
    }
}

std::wstring CComponentLoader::ModuleFileName(const std::wstring& baseName) {
    return baseName + L".so";
}

std::wstring CComponentLoader::SearchedFolders() {
    std::wstring folders = GetExeDirectory();
    const char* extra = std::getenv("LD_LIBRARY_PATH");
    if (extra != nullptr && extra[0] != '\0')
        folders += L", LD_LIBRARY_PATH=" + platform::PathFromNarrow(extra);
    folders += L", the system's library folders";
    return folders;
}

void* CComponentLoader::LoadModule(const std::wstring& fileName, std::string* error) {
    // The executable's own folder first, so a copy elsewhere on the system never wins.
    const std::string besideExe = platform::PathToNarrow(GetExeDirectory() + L"/" + fileName);
    if (void* h = ::dlopen(besideExe.c_str(), RTLD_NOW | RTLD_LOCAL))
        return h;
    std::string firstError = ::dlerror();
    if (void* h = ::dlopen(platform::PathToNarrow(fileName).c_str(), RTLD_NOW | RTLD_LOCAL))
        return h;
    std::string secondError = ::dlerror();
    if (error != nullptr) {
        // A module that exists but does not load says why in the first message; otherwise
        // both only say "not found" and the second is as good.
        *error = firstError.find("No such file") == std::string::npos ? firstError : secondError;
    }
    return nullptr;
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
        auto fn = reinterpret_cast<SOUI::FunSCreateInstance>(::dlsym(h, "SCreateInstance"));
        if (fn == nullptr) {
            DebugLog(L"%s 组件 %s 没有导出 SCreateInstance", L"CComponentLoader::CreateInstance",
                     fileName.c_str());
            ::dlclose(h);
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
