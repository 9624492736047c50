#pragma once
// The application: object factories, resources, the UI definition (default font, string
// and colour tables, skins, style classes), named IDs, the translator hook and the
// message loop. One per process, created on the UI thread.

#include <map>
#include <memory>
#include <vector>

#include "uilib/SAutoRefPtr.h"
#include "uilib/SHostBackend.h"
#include "uilib/SRender.h"
#include "uilib/SResProvider.h"
#include "uilib/SSkinPoolMgr.h"
#include "uilib/STranslator.h"
#include "uilib/SWindow.h"

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

namespace SOUI {

// Creates windows of one XML class name.
class SObjectFactory {
public:
    virtual ~SObjectFactory() = default;
    virtual SWindow* NewObject() const = 0;
    virtual const wchar_t* GetName() const = 0;
    virtual const wchar_t* GetBaseClassName() const = 0;
    virtual int GetObjectType() const { return 1; }
    virtual SObjectFactory* Clone() const = 0;
};

// The factory of a window class T (T::GetClassName() is the XML name; its base class
// name comes from T's base `__baseCls`).
template <class T>
class TplSObjectFactory : public SObjectFactory {
public:
    SWindow* NewObject() const override { return new T; }
    const wchar_t* GetName() const override { return T::GetClassName(); }
    const wchar_t* GetBaseClassName() const override { return T::BaseClassName(); }
    SObjectFactory* Clone() const override { return new TplSObjectFactory<T>; }
};

// One entry of the named-ID table.
struct SNamedID {
    const wchar_t* strName;
    int nID;
};

// Registers the library's standard controls with an application (the default system
// object register).
class SObjectDefaultRegister {
public:
    virtual ~SObjectDefaultRegister() = default;
    virtual void RegisterWindows(class SApplication* app) const;
    virtual void RegisterSkins(class SApplication*) const {}
};

class SApplication {
public:
    // renderFactory: taken with its own reference. backend: the host backend windows
    // use (not owned). The program passes an SGtkHost (uilib/gtk/SGtkHost.h, after
    // SGtkHost::Init); null gives a headless backend that the application owns.
    SApplication(IRenderFactory* renderFactory, HINSTANCE hInst,
                 const wchar_t* hostClassName = L"SOUIHOST",
                 const SObjectDefaultRegister& sysObjRegister = SObjectDefaultRegister(),
                 IHostBackend* backend = nullptr);
    ~SApplication();
    SApplication(const SApplication&) = delete;
    SApplication& operator=(const SApplication&) = delete;

    static SApplication* getSingletonPtr();
    static SApplication& getSingleton() { return *getSingletonPtr(); }

    // ---- factories
    // Adds a window class; an existing class of the same name is kept unless bReplace.
    bool RegisterFactory(const SObjectFactory& factory, bool bReplace = false);
    bool HasFactory(const SStringW& className) const;
    // A new window of that XML class (one reference); null for an unknown class.
    SWindow* CreateWindowByName(const SStringW& className) const;

    // ---- rendering and hosting
    IRenderFactory* GetRenderFactory() const { return m_pRenderFactory.get(); }
    IHostBackend* GetBackend() const { return m_pBackend; }
    void SetBackend(IHostBackend* backend);  // not owned; before any host window exists
    HINSTANCE GetInstance() const { return m_hInst; }
    const SStringW& GetHostClassName() const { return m_strHostClass; }
    // A font from a descriptor on top of the default font, cached (no new reference).
    IFontS* GetFont(const SStringW& desc);
    const FontDesc& GetDefaultFontDesc() const { return m_defFont; }
    // A bitmap from an image resource "TYPE:NAME", cached (no new reference).
    IBitmapS* LoadImage(const SStringW& resName);
    // How many images were decoded so far (each once, whoever uses it).
    size_t DecodedImageCount() const { return m_images.size(); }

    // ---- resources and the UI definition
    // Adds a provider (own reference taken) and loads the UI definition of that name
    // ("uidef:xml_init") from it when given. False when the definition does not load.
    bool AddResProvider(IResProvider* provider, const wchar_t* uidef = L"uidef:xml_init");
    bool LoadSystemNamedResource(IResProvider* provider);
    bool GetRawBuffer(const SStringW& type, const SStringW& name,
                      std::vector<unsigned char>* data) const;
    // "TYPE:NAME" form.
    bool GetRawBuffer(const SStringW& resName, std::vector<unsigned char>* data) const;
    // Whether a provider holds "type:name", without reading it.
    bool HasResource(const SStringW& resName) const;
    // Loads an XML resource; pszName may be "TYPE:NAME" with pszType empty.
    bool LoadXmlDocment(pugi::xml_document& doc, const SStringW& name,
                        const SStringW& type = SStringW());
    bool LoadUIDef(const pugi::xml_node& uidef);
    // Named IDs: a window named in the table gets that id when its layout gives none.
    void InitXmlNamedID(const SNamedID* table, int count, bool bSorted);
    int GetNamedID(const SStringW& name) const;
    // String and colour tables of the UI definition.
    SStringW GetString(const SStringW& name) const;
    std::optional<COLORREF> GetColor(const SStringW& name) const;
    // A style class ("class" attribute) as name/value pairs; null when unknown.
    const std::vector<std::pair<SStringW, SStringW>>* GetStyleClass(const SStringW& name) const;

    // ---- translation
    void SetTranslator(ITranslatorMgr* trMgr);  // own reference taken; null removes
    ITranslatorMgr* GetTranslator() const { return m_pTranslator.get(); }
    SStringW Tr(const SStringW& src, const SStringW& ctx) const;

    // ---- loop
    // Runs the host loop until the main window hMainWnd is destroyed; returns 0 then
    // (or the code a QuitLoop gave).
    int Run(HWND hMainWnd);
    // Called by a host window when it is destroyed; ends Run for its main window.
    void OnHostDestroyed(HWND hWnd);

private:
    SAutoRefPtr<IRenderFactory> m_pRenderFactory;
    IHostBackend* m_pBackend = nullptr;
    std::unique_ptr<IHostBackend> m_ownBackend;
    HINSTANCE m_hInst = nullptr;
    SStringW m_strHostClass;
    std::map<SStringW, std::unique_ptr<SObjectFactory>> m_factories;
    std::vector<SAutoRefPtr<IResProvider>> m_providers;
    std::unique_ptr<SSkinPoolMgr> m_skinPool;
    std::map<SStringW, int> m_namedIds;
    std::map<SStringW, SStringW> m_strings;
    std::map<SStringW, COLORREF> m_colors;
    std::map<SStringW, std::vector<std::pair<SStringW, SStringW>>> m_styles;
    std::map<SStringW, SAutoRefPtr<IFontS>> m_fonts;
    std::map<SStringW, SAutoRefPtr<IBitmapS>> m_images;
    FontDesc m_defFont;
    SAutoRefPtr<ITranslatorMgr> m_pTranslator;
    HWND m_hRunWnd = nullptr;
};

}  // namespace SOUI
