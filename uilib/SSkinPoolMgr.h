#pragma once
// The skin pool: every skin of the skin table by name. The pool holds one reference on
// each; a caller of GetSkin that keeps the skin beyond the call takes its own (windows
// hold theirs in an SAutoRefPtr), so a skin replaced or cleared here lives on until its
// last holder lets it go.

#include <map>

#include "uilib/SAutoRefPtr.h"
#include "uilib/SSkin.h"

namespace pugi {
class xml_node;
}

namespace SOUI {

class SSkinPoolMgr {
public:
    SSkinPoolMgr();
    ~SSkinPoolMgr();
    SSkinPoolMgr(const SSkinPoolMgr&) = delete;
    SSkinPoolMgr& operator=(const SSkinPoolMgr&) = delete;

    // The application's pool (exists while the SApplication does).
    static SSkinPoolMgr* getSingletonPtr();
    static SSkinPoolMgr& getSingleton() { return *getSingletonPtr(); }

    // The skin of that name at the scale (100 = no scaling; skins here exist at 100 and
    // serve every scale); null when the pool has none. No new reference.
    ISkinObj* GetSkin(const SStringW& name, int scale = 100) const;
    // Adds (taking over the caller's reference) or replaces a skin; the pool's reference on
    // a replaced skin is released.
    void AddSkin(const SStringW& name, ISkinObj* skin);
    // Loads the children of a <skin> element; images come from the application's
    // resources. Returns the number of skins added.
    int LoadSkins(const pugi::xml_node& skinTable);
    void Clear();

private:
    std::map<SStringW, SAutoRefPtr<ISkinObj>> m_skins;
};

}  // namespace SOUI
