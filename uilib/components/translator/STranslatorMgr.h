#pragma once
// The translator component: languages loaded from XML documents, asked in the order
// they were installed.

#include <map>
#include <utility>
#include <vector>

#include "uilib/STranslator.h"

namespace SOUI {

class STranslatorLang : public SObjectImpl<ITranslator> {
public:
    bool Load(const void* pData, unsigned int uType) override;
    SStringW name() const override { return m_strName; }
    bool tr(const SStringW& src, const SStringW& ctx, SStringW* out) const override;

private:
    SStringW m_strName;
    // (context, source) -> translation; an empty context serves every context.
    std::map<std::pair<SStringW, SStringW>, SStringW> m_texts;
};

class STranslatorMgr : public SObjectImpl<ITranslatorMgr> {
public:
    ~STranslatorMgr() override;
    bool InstallTranslator(ITranslator* lang) override;
    bool UninstallTranslator(const SStringW& name) override;
    bool CreateTranslator(ITranslator** ppLang) override;
    SStringW tr(const SStringW& src, const SStringW& ctx) const override;

private:
    std::vector<ITranslator*> m_langs;
};

}  // namespace SOUI
