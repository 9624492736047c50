#include "uilib/SSkinPoolMgr.h"

#include <pugixml.hpp>

#include "platform/DebugOutput.h"
#include "platform/Text.h"
#include "platform/WideFormat.h"

namespace SOUI {
namespace {
SSkinPoolMgr* g_skinPool = nullptr;
}

SSkinPoolMgr::SSkinPoolMgr() {
    if (g_skinPool == nullptr)
        g_skinPool = this;
}

SSkinPoolMgr::~SSkinPoolMgr() {
    Clear();
    if (g_skinPool == this)
        g_skinPool = nullptr;
}

SSkinPoolMgr* SSkinPoolMgr::getSingletonPtr() {
    return g_skinPool;
}

ISkinObj* SSkinPoolMgr::GetSkin(const SStringW& name, int) const {
    auto it = m_skins.find(name);
    return it == m_skins.end() ? nullptr : it->second.get();
}

void SSkinPoolMgr::AddSkin(const SStringW& name, ISkinObj* skin) {
    SAutoRefPtr<ISkinObj> held = AdoptRef(skin);
    if (held)
        m_skins[name] = std::move(held);
}

int SSkinPoolMgr::LoadSkins(const pugi::xml_node& table) {
    int added = 0;
    for (pugi::xml_node node : table.children()) {
        if (node.type() != pugi::node_element)
            continue;
        std::wstring cls = platform::Utf8ToWide(node.name());
        std::wstring name = platform::Utf8ToWide(node.attribute("name").value());
        SAutoRefPtr<ISkinObj> skin = AdoptRef(CreateSkinByClass(cls.c_str()));
        if (!skin || name.empty()) {
            platform::OutputDebugStringW(
                platform::FormatW(L"SSkinPoolMgr::LoadSkins skipped skin <%s name=\"%s\">\n",
                                  cls.c_str(), name.c_str())
                    .c_str());
            continue;
        }
        // src first, so that the attributes that depend on the image see it.
        if (pugi::xml_attribute src = node.attribute("src"))
            skin->SetAttribute(L"src", platform::Utf8ToWide(src.value()), 1);
        for (pugi::xml_attribute attr : node.attributes()) {
            std::string an = attr.name();
            if (an == "src" || an == "name")
                continue;
            skin->SetAttribute(platform::Utf8ToWide(an), platform::Utf8ToWide(attr.value()), 1);
        }
        m_skins[name] = std::move(skin);
        ++added;
    }
    return added;
}

void SSkinPoolMgr::Clear() {
    // Emptied before the references go: a skin's destructor finds no half-cleared map.
    std::map<SStringW, SAutoRefPtr<ISkinObj>> skins;
    skins.swap(m_skins);
}

}  // namespace SOUI
