#pragma once
// Resource providers: where the application finds layouts, images and documents by
// TYPE:NAME (type compared case-insensitively, name case-insensitively).

#include <string>
#include <vector>

#include "uilib/SEmbeddedRes.h"
#include "uilib/SObject.h"
#include "uilib/SString.h"

namespace SOUI {

struct IResProvider : public IObject {
    virtual bool HasResource(const SStringW& type, const SStringW& name) = 0;
    // Copies the resource's bytes; false when it is missing.
    virtual bool GetRawBuffer(const SStringW& type, const SStringW& name,
                              std::vector<unsigned char>* data) = 0;
};

// The resources compiled into the executable (or a table a test gives).
class SResProviderEmbedded : public SObjectImpl<IResProvider> {
    using __baseCls = SObjectImpl<IResProvider>;
    SOUI_CLASS_NAME(SResProviderEmbedded, L"resprovider_embedded")

public:
    // The table is not copied; it must outlive the provider (a static table does).
    bool Init(const SEmbeddedRes* table, size_t count);
    bool HasResource(const SStringW& type, const SStringW& name) override;
    bool GetRawBuffer(const SStringW& type, const SStringW& name,
                      std::vector<unsigned char>* data) override;

private:
    const SEmbeddedRes* Find(const SStringW& type, const SStringW& name) const;
    const SEmbeddedRes* m_pTable = nullptr;
    size_t m_nCount = 0;
};

enum { RES_PE = 0, RES_FILE = 1, RES_EMBEDDED = 0 };
// Creates a resource provider of a kind (RES_PE is the embedded table here); hands over
// one reference.
bool CreateResProvider(int type, IResProvider** ppProvider);

// Splits "TYPE:NAME" (either order of case); false when there is no colon.
bool SplitResName(const SStringW& full, SStringW* type, SStringW* name);

}  // namespace SOUI
