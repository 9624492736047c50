#include "uilib/components/translator/STranslatorMgr.h"

#include <pugixml.hpp>

#include "platform/Text.h"

namespace SOUI {

bool STranslatorLang::Load(const void* pData, unsigned int uType) {
    if (uType != LD_XML || pData == nullptr)
        return false;
    const auto* node = static_cast<const pugi::xml_node*>(pData);
    pugi::xml_node lang = *node;
    if (lang && std::string(lang.name()) != "language")
        lang = lang.child("language");
    if (!lang)
        return false;
    m_strName = platform::Utf8ToWide(lang.attribute("name").value());
    m_texts.clear();
    for (pugi::xml_node ctx : lang.children("context")) {
        SStringW ctxName = platform::Utf8ToWide(ctx.attribute("name").value());
        for (pugi::xml_node msg : ctx.children("message")) {
            SStringW src = platform::Utf8ToWide(msg.child("source").text().get());
            pugi::xml_node tr = msg.child("translation");
            if (src.empty() || !tr)
                continue;
            m_texts[{ctxName, src}] = platform::Utf8ToWide(tr.text().get());
        }
    }
    return true;
}

bool STranslatorLang::tr(const SStringW& src, const SStringW& ctx, SStringW* out) const {
    auto it = m_texts.find({ctx, src});
    if (it == m_texts.end())
        it = m_texts.find({SStringW(), src});
    if (it == m_texts.end())
        return false;
    *out = it->second;
    return true;
}

STranslatorMgr::~STranslatorMgr() {
    for (ITranslator* l : m_langs)
        l->Release();
}

bool STranslatorMgr::InstallTranslator(ITranslator* lang) {
    if (!lang)
        return false;
    for (ITranslator* l : m_langs)
        if (l->name() == lang->name())
            return false;
    lang->AddRef();
    m_langs.push_back(lang);
    return true;
}

bool STranslatorMgr::UninstallTranslator(const SStringW& name) {
    for (auto it = m_langs.begin(); it != m_langs.end(); ++it) {
        if ((*it)->name() == name) {
            (*it)->Release();
            m_langs.erase(it);
            return true;
        }
    }
    return false;
}

bool STranslatorMgr::CreateTranslator(ITranslator** ppLang) {
    if (!ppLang)
        return false;
    *ppLang = new STranslatorLang;
    return true;
}

SStringW STranslatorMgr::tr(const SStringW& src, const SStringW& ctx) const {
    SStringW out;
    for (ITranslator* l : m_langs)
        if (l->tr(src, ctx, &out))
            return out;
    return src;
}

}  // namespace SOUI
