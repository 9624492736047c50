#pragma once
// Attribute tables: the attributes a window class handles, by name, each with its setter
// and what a change at run time needs (a new layout, or only a repaint). A class's table
// extends its base class's, and an entry of the same name replaces the base's, so a new
// control registers its own attributes without editing any base class.

#include <initializer_list>
#include <type_traits>
#include <vector>

#include "uilib/SDefs.h"
#include "uilib/SString.h"

namespace SOUI {

class SWindow;

enum class SAttrEffect {
    Paint,   // the window is drawn again
    Layout,  // the value can change a size or position: the tree is laid out again first
};

class SAttrTable {
public:
    // Stores a value. S_OK: stored, the entry's effect follows; S_FALSE: handled, nothing
    // to redraw; E_FAIL: the value does not parse, nothing changed (the caller logs it).
    using Setter = HRESULT (*)(SWindow* wnd, const SStringW& name, const SStringW& value);
    struct Entry {
        const wchar_t* name;
        SAttrEffect effect;
        Setter set;
    };

    explicit SAttrTable(const SAttrTable* base) : m_pBase(base) {}
    SAttrTable(SAttrTable&&) = default;  // built once, then kept in a static

    // The entry for `name` (without regard to case) in this table, else in its bases;
    // null when no table has it.
    const Entry* Find(const SStringW& name) const;

protected:
    void AddEntry(const wchar_t* name, SAttrEffect effect, Setter set);

private:
    const SAttrTable* m_pBase;
    std::vector<Entry> m_entries;
};

// The table of window class T. Its setters take a T*: an entry is only ever found through
// the table of T or of a class derived from T.
template <class T>
class TplAttrTable : public SAttrTable {
public:
    explicit TplAttrTable(const SAttrTable* base) : SAttrTable(base) {}

    // Registers `fn` under each of `names`. fn is a lambda without captures taking
    // (T*, value) or (T*, name, value) and returning a setter's HRESULT.
    template <class F>
    TplAttrTable& Add(std::initializer_list<const wchar_t*> names, SAttrEffect effect, F) {
        static_assert(std::is_empty_v<F>, "attribute setters capture nothing");
        for (const wchar_t* name : names)
            AddEntry(name, effect, &Call<F>);
        return *this;
    }
    // Keeps the base class's setter of `name` but gives it this class's effect (a skin
    // that sizes a button, where it only paints a plain window).
    TplAttrTable& Effect(const wchar_t* name, SAttrEffect effect) {
        if (const Entry* base = Find(name))
            AddEntry(name, effect, base->set);
        return *this;
    }

private:
    template <class F>
    static HRESULT Call(SWindow* wnd, const SStringW& name, const SStringW& value) {
        T* self = static_cast<T*>(wnd);
        if constexpr (std::is_invocable_v<F, T*, const SStringW&>)
            return F{}(self, value);
        else
            return F{}(self, name, value);
    }
};

}  // namespace SOUI
