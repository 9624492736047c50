#pragma once
// The UI library's run-time components: the image decoder, the renderer and the translator,
// each a shared module exporting "SCreateInstance" ("render-cairo.so" on Linux,
// "render-cairo.dll" on Windows). A module is looked for in the executable's folder first;
// on Linux then where the dynamic linker looks (LD_LIBRARY_PATH, the system's library
// folders), on Windows nowhere else. Modules stay loaded until the loader is destroyed, which
// unloads them in reverse slot order.

#include <string>

#include "uilib/SRender.h"
#include "uilib/STranslator.h"

class CComponentLoader {
public:
    enum { kSlotImgDecoder = 0, kSlotRender = 1, kSlotTranslator = 2, kSlotCount = 7 };

    CComponentLoader();
    ~CComponentLoader();
    CComponentLoader(const CComponentLoader&) = delete;
    CComponentLoader& operator=(const CComponentLoader&) = delete;

    // Each hands over one reference to the new component; false when the module cannot be
    // loaded, lacks its entry point, or the entry point fails (each logged once).
    bool CreateRender(SOUI::IRenderFactory** ppObj);
    bool CreateImgDecoder(SOUI::IImgDecoderFactory** ppObj);
    bool CreateTranslator(SOUI::ITranslatorMgr** ppObj);

    // The image decoder's base name ("imgdecoder-png" unless changed).
    void SetImgDecoderName(const std::wstring& baseName) { m_strImgDecoderName = baseName; }
    const std::wstring& GetImgDecoderName() const { return m_strImgDecoderName; }

    // The module file name of a base name ("render-cairo" -> "render-cairo.so" / ".dll").
    static std::wstring ModuleFileName(const std::wstring& baseName);
    // Where a module of that file name is looked for, in order, for diagnostics.
    static std::wstring SearchedFolders();
    // Loads a module by file name in the order above; null when none loads. `error`
    // receives the loader's reason for the last failure.
    static void* LoadModule(const std::wstring& fileName, std::string* error);

private:
    struct Slot {
        void* hModule = nullptr;
        SOUI::FunSCreateInstance pfnCreate = nullptr;
        std::wstring strFileName;  // set once the entry point is resolved
    };
    bool CreateInstance(int slot, const std::wstring& fileName, SOUI::IObject** ppObj);

    Slot m_slots[kSlotCount];
    std::wstring m_strImgDecoderName = L"imgdecoder-png";
};
