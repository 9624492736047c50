#include "uilib/SAttrTable.h"

namespace SOUI {

const SAttrTable::Entry* SAttrTable::Find(const SStringW& name) const {
    for (const SAttrTable* t = this; t != nullptr; t = t->m_pBase) {
        for (const Entry& e : t->m_entries)
            if (EqualsNoCase(name, e.name))
                return &e;
    }
    return nullptr;
}

void SAttrTable::AddEntry(const wchar_t* name, SAttrEffect effect, Setter set) {
    m_entries.push_back({name, effect, set});
}

}  // namespace SOUI
