#include "uilib/SResProvider.h"

#include "platform/Text.h"

namespace SOUI {
namespace {

// Names in the table are UTF-8; a missing one matches only the empty name.
bool SameResName(const SStringW& a, const char* utf8) {
    return EqualsNoCase(a, platform::Utf8ToWide(utf8 ? utf8 : ""));
}

}  // namespace

bool SplitResName(const SStringW& full, SStringW* type, SStringW* name) {
    size_t colon = full.find(L':');
    if (colon == SStringW::npos)
        return false;
    *type = full.substr(0, colon);
    *name = full.substr(colon + 1);
    return true;
}

bool SResProviderEmbedded::Init(const SEmbeddedRes* table, size_t count) {
    m_pTable = table;
    m_nCount = table ? count : 0;
    return table != nullptr;
}

const SEmbeddedRes* SResProviderEmbedded::Find(const SStringW& type, const SStringW& name) const {
    for (size_t i = 0; i < m_nCount; ++i) {
        const SEmbeddedRes& r = m_pTable[i];
        if (SameResName(type, r.type) && SameResName(name, r.name))
            return &r;
    }
    return nullptr;
}

bool SResProviderEmbedded::HasResource(const SStringW& type, const SStringW& name) {
    return Find(type, name) != nullptr;
}

bool SResProviderEmbedded::GetRawBuffer(const SStringW& type, const SStringW& name,
                                        std::vector<unsigned char>* data) {
    const SEmbeddedRes* r = Find(type, name);
    if (r == nullptr)
        return false;
    data->assign(r->data, r->data + r->size);
    return true;
}

bool CreateResProvider(int type, IResProvider** ppProvider) {
    if (ppProvider == nullptr)
        return false;
    if (type != RES_EMBEDDED) {
        *ppProvider = nullptr;
        return false;
    }
    *ppProvider = new SResProviderEmbedded;
    return true;
}

}  // namespace SOUI
