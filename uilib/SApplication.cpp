#include "uilib/SApplication.h"

#include <pugixml.hpp>

#include "platform/DebugOutput.h"
#include "platform/Text.h"
#include "platform/WideFormat.h"
#include "uilib/SButton.h"
#include "uilib/SCheckBox.h"
#include "uilib/SEdit.h"
#include "uilib/SHeadlessHost.h"
#include "uilib/SHostWnd.h"
#include "uilib/SLink.h"
#include "uilib/SRichEdit.h"
#include "uilib/SStatic.h"
#include "uilib/STabCtrl.h"

namespace SOUI {
namespace {

SApplication* g_app = nullptr;

void Log(const std::wstring& text) {
    platform::OutputDebugStringW(text.c_str());
}

// Key/value pairs of a values table: <string><ver value="1.0"/></string>, or items
// with a name attribute.
template <class F>
void ForEachValue(const pugi::xml_node& table, F fn) {
    for (pugi::xml_node item : table.children()) {
        if (item.type() != pugi::node_element)
            continue;
        std::string key = item.attribute("name") ? item.attribute("name").value() : item.name();
        std::string value =
            item.attribute("value") ? item.attribute("value").value() : item.text().get();
        fn(platform::Utf8ToWide(key), platform::Utf8ToWide(value));
    }
}

}  // namespace

void SObjectDefaultRegister::RegisterWindows(SApplication* app) const {
    app->RegisterFactory(TplSObjectFactory<SWindow>());
    app->RegisterFactory(TplSObjectFactory<SButton>());
    app->RegisterFactory(TplSObjectFactory<SImageButton>());
    app->RegisterFactory(TplSObjectFactory<SCheckBox>());
    app->RegisterFactory(TplSObjectFactory<SLink>());
    app->RegisterFactory(TplSObjectFactory<SStatic>());
    app->RegisterFactory(TplSObjectFactory<SImageWnd>());
    app->RegisterFactory(TplSObjectFactory<SCaption>());
    app->RegisterFactory(TplSObjectFactory<SProgress>());
    app->RegisterFactory(TplSObjectFactory<STabCtrl>());
    app->RegisterFactory(TplSObjectFactory<STabPage>());
    app->RegisterFactory(TplSObjectFactory<SEdit>());
    app->RegisterFactory(TplSObjectFactory<SRichEdit>());
}

SApplication::SApplication(IRenderFactory* renderFactory, HINSTANCE hInst,
                           const wchar_t* hostClassName,
                           const SObjectDefaultRegister& sysObjRegister, IHostBackend* backend)
    : m_pRenderFactory(renderFactory),
      m_hInst(hInst),
      m_strHostClass(hostClassName ? hostClassName : L"") {
    if (g_app == nullptr)
        g_app = this;
    if (backend) {
        m_pBackend = backend;
    } else {
        m_ownBackend = std::make_unique<SHeadlessHost>();
        m_pBackend = m_ownBackend.get();
    }
    m_skinPool = std::make_unique<SSkinPoolMgr>();
    m_defFont.face = L"宋体";
    m_defFont.size = 15;
    sysObjRegister.RegisterWindows(this);
    sysObjRegister.RegisterSkins(this);
}

SApplication::~SApplication() {
    // Skins hold images, images and fonts come from the render factory: released in
    // that order.
    m_skinPool.reset();
    m_fonts.clear();
    m_images.clear();
    m_providers.clear();
    m_pTranslator = nullptr;
    m_pRenderFactory = nullptr;
    if (g_app == this)
        g_app = nullptr;
}

SApplication* SApplication::getSingletonPtr() {
    return g_app;
}

void SApplication::SetBackend(IHostBackend* backend) {
    if (backend)
        m_pBackend = backend;
}

bool SApplication::RegisterFactory(const SObjectFactory& factory, bool bReplace) {
    SStringW name = factory.GetName();
    auto it = m_factories.find(name);
    if (it != m_factories.end() && !bReplace)
        return false;
    m_factories[name].reset(factory.Clone());
    return true;
}

bool SApplication::HasFactory(const SStringW& className) const {
    return m_factories.count(className) != 0;
}

SWindow* SApplication::CreateWindowByName(const SStringW& className) const {
    auto it = m_factories.find(className);
    return it == m_factories.end() ? nullptr : it->second->NewObject();
}

IFontS* SApplication::GetFont(const SStringW& desc) {
    auto it = m_fonts.find(desc);
    if (it != m_fonts.end())
        return it->second.get();
    if (!m_pRenderFactory)
        return nullptr;
    std::optional<FontDesc> fd = ParseFontDesc(desc, m_defFont);
    if (!fd) {
        LogBadAttribute(L"SApplication::GetFont", L"font", desc);
        fd = m_defFont;
    }
    IFontS* font = nullptr;
    if (!m_pRenderFactory->CreateFont(&font, *fd))
        return nullptr;
    m_fonts[desc].attach(font);
    return font;
}

IBitmapS* SApplication::LoadImage(const SStringW& resName) {
    auto it = m_images.find(resName);
    if (it != m_images.end())
        return it->second.get();
    std::vector<unsigned char> data;
    if (!GetRawBuffer(resName, &data) || !m_pRenderFactory)
        return nullptr;
    IBitmapS* bmp = nullptr;
    if (!m_pRenderFactory->CreateBitmapFromMemory(&bmp, data.data(), data.size())) {
        Log(platform::FormatW(L"SApplication::LoadImage cannot decode %s\n", resName.c_str()));
        return nullptr;
    }
    m_images[resName].attach(bmp);
    return bmp;
}

bool SApplication::AddResProvider(IResProvider* provider, const wchar_t* uidef) {
    if (!provider)
        return false;
    m_providers.insert(m_providers.begin(), SAutoRefPtr<IResProvider>(provider));
    if (uidef == nullptr || *uidef == 0)
        return true;
    pugi::xml_document doc;
    if (!LoadXmlDocment(doc, uidef)) {
        Log(platform::FormatW(L"SApplication::AddResProvider no UI definition %s\n", uidef));
        return false;
    }
    pugi::xml_node root = doc.document_element();
    return LoadUIDef(root);
}

bool SApplication::LoadSystemNamedResource(IResProvider* provider) {
    // The system resources of this library are built in; a provider only adds skins
    // named in its own "values:skin" table when it has one.
    if (!provider)
        return false;
    std::vector<unsigned char> data;
    if (!provider->GetRawBuffer(L"values", L"skin", &data))
        return true;
    pugi::xml_document doc;
    if (doc.load_buffer(data.data(), data.size()))
        m_skinPool->LoadSkins(doc.document_element());
    return true;
}

bool SApplication::GetRawBuffer(const SStringW& type, const SStringW& name,
                                std::vector<unsigned char>* data) const {
    for (const SAutoRefPtr<IResProvider>& p : m_providers)
        if (p->GetRawBuffer(type, name, data))
            return true;
    return false;
}

bool SApplication::HasResource(const SStringW& resName) const {
    SStringW type, name;
    if (!SplitResName(resName, &type, &name))
        return false;
    for (const SAutoRefPtr<IResProvider>& p : m_providers)
        if (p->HasResource(type, name))
            return true;
    return false;
}

bool SApplication::GetRawBuffer(const SStringW& resName, std::vector<unsigned char>* data) const {
    SStringW type, name;
    if (!SplitResName(resName, &type, &name))
        return false;
    return GetRawBuffer(type, name, data);
}

bool SApplication::LoadXmlDocment(pugi::xml_document& doc, const SStringW& name,
                                  const SStringW& type) {
    std::vector<unsigned char> data;
    bool found = type.empty() ? GetRawBuffer(name, &data) : GetRawBuffer(type, name, &data);
    if (!found)
        return false;
    pugi::xml_parse_result r = doc.load_buffer(data.data(), data.size());
    if (!r) {
        Log(platform::FormatW(L"SApplication::LoadXmlDocment %s: %hs at %d\n", name.c_str(),
                              r.description(), static_cast<int>(r.offset)));
        return false;
    }
    return true;
}

bool SApplication::LoadUIDef(const pugi::xml_node& uidef) {
    if (!uidef)
        return false;
    // Each table is either inline or in a resource named by `src`.
    auto table = [&](const char* tag, pugi::xml_document& holder) -> pugi::xml_node {
        pugi::xml_node node = uidef.child(tag);
        if (!node)
            return {};
        if (pugi::xml_attribute src = node.attribute("src")) {
            if (!LoadXmlDocment(holder, platform::Utf8ToWide(src.value()))) {
                Log(platform::FormatW(L"SApplication::LoadUIDef missing %hs table %hs\n", tag,
                                      src.value()));
                return {};
            }
            return holder.document_element();
        }
        return node;
    };
    if (pugi::xml_node font = uidef.child("font")) {
        FontDesc d = m_defFont;
        if (font.attribute("face"))
            d.face = platform::Utf8ToWide(font.attribute("face").value());
        if (font.attribute("size"))
            d.size = font.attribute("size").as_int(d.size);
        m_defFont = d;
        m_fonts.clear();
    }
    pugi::xml_document strDoc, colorDoc, skinDoc;
    if (pugi::xml_node t = table("string", strDoc))
        ForEachValue(t, [&](const SStringW& k, const SStringW& v) { m_strings[k] = v; });
    if (pugi::xml_node t = table("color", colorDoc)) {
        ForEachValue(t, [&](const SStringW& k, const SStringW& v) {
            if (auto c = ParseColor(v))
                m_colors[k] = *c;
            else
                LogBadAttribute(L"SApplication::LoadUIDef", k, v);
        });
    }
    if (pugi::xml_node t = table("skin", skinDoc))
        m_skinPool->LoadSkins(t);
    if (pugi::xml_node style = uidef.child("style")) {
        for (pugi::xml_node cls : style.children()) {
            if (cls.type() != pugi::node_element)
                continue;
            std::vector<std::pair<SStringW, SStringW>> attrs;
            for (pugi::xml_attribute a : cls.attributes()) {
                if (std::string(a.name()) == "name")
                    continue;
                attrs.emplace_back(platform::Utf8ToWide(a.name()), platform::Utf8ToWide(a.value()));
            }
            m_styles[platform::Utf8ToWide(cls.attribute("name").value())] = std::move(attrs);
        }
    }
    return true;
}

void SApplication::InitXmlNamedID(const SNamedID* table, int count, bool) {
    for (int i = 0; table && i < count; ++i)
        if (table[i].strName)
            m_namedIds[table[i].strName] = table[i].nID;
}

int SApplication::GetNamedID(const SStringW& name) const {
    auto it = m_namedIds.find(name);
    return it == m_namedIds.end() ? 0 : it->second;
}

SStringW SApplication::GetString(const SStringW& name) const {
    auto it = m_strings.find(name);
    return it == m_strings.end() ? SStringW() : it->second;
}

std::optional<COLORREF> SApplication::GetColor(const SStringW& name) const {
    auto it = m_colors.find(name);
    if (it == m_colors.end())
        return std::nullopt;
    return it->second;
}

const std::vector<std::pair<SStringW, SStringW>>* SApplication::GetStyleClass(
    const SStringW& name) const {
    auto it = m_styles.find(name);
    return it == m_styles.end() ? nullptr : &it->second;
}

void SApplication::SetTranslator(ITranslatorMgr* trMgr) {
    m_pTranslator = trMgr;
}

SStringW SApplication::Tr(const SStringW& src, const SStringW& ctx) const {
    return m_pTranslator ? m_pTranslator->tr(src, ctx) : src;
}

int SApplication::Run(HWND hMainWnd) {
    SHostWnd* wnd = SHostWnd::FromHandle(hMainWnd);
    if (wnd == nullptr)
        return 0;  // already gone: nothing to run for
    m_hRunWnd = hMainWnd;
    int code = m_pBackend->RunLoop();
    m_hRunWnd = nullptr;
    return code < 0 ? 0 : code;
}

void SApplication::OnHostDestroyed(HWND hWnd) {
    if (hWnd != nullptr && hWnd == m_hRunWnd) {
        m_hRunWnd = nullptr;
        m_pBackend->QuitLoop(0);
    }
}

}  // namespace SOUI
