#pragma once
// The translator hook: the application asks its translator manager for the text of a
// source string in a context (the window's `trCtx`). The `translator` component
// implements these interfaces.
//
// A language document:
//   <language name="en"><context name="dlg_main">
//       <message><source>立即安装</source><translation>Install now</translation></message>
//   </context></language>

#include "uilib/SObject.h"
#include "uilib/SString.h"

namespace SOUI {

enum { LD_XML = 1 };  // ITranslator::Load: pData is a const pugi::xml_node*

struct ITranslator : public IObject {
    // Loads a language from an XML "language" element; false when it does not parse.
    virtual bool Load(const void* pData, unsigned int uType) = 0;
    virtual SStringW name() const = 0;
    // True and the translation when the language has one.
    virtual bool tr(const SStringW& src, const SStringW& ctx, SStringW* out) const = 0;
};

struct ITranslatorMgr : public IObject {
    // Takes its own reference to the language; false when one of that name is installed.
    virtual bool InstallTranslator(ITranslator* lang) = 0;
    virtual bool UninstallTranslator(const SStringW& name) = 0;
    // A new, empty language object (one reference handed over).
    virtual bool CreateTranslator(ITranslator** ppLang) = 0;
    // The translation of src in ctx; src itself when no installed language has one.
    virtual SStringW tr(const SStringW& src, const SStringW& ctx) const = 0;
};

}  // namespace SOUI
