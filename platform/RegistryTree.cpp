#include "platform/RegistryTree.h"

#include "platform/Text.h"

#include <locale.h>
#include <wctype.h>

namespace platform::registry {
// Case folding independent of the process locale, so that a hive written under one locale
// matches under another.
std::wstring FoldName(std::wstring_view name) {
    return platform::FoldName(name);
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && FoldName(a) == FoldName(b);
}

Key::Key(const Key& other) : name(other.name), values(other.values), valueIndex(other.valueIndex) {
    for (const auto& [folded, child] : other.children)
        children.emplace(folded, std::make_unique<Key>(*child));
}

Key* Key::Child(std::wstring_view childName) const {
    auto it = children.find(FoldName(childName));
    return it == children.end() ? nullptr : it->second.get();
}

Key* Key::AddChild(const std::wstring& childName) {
    auto& slot = children[FoldName(childName)];
    if (!slot) {
        slot = std::make_unique<Key>();
        slot->name = childName;
    }
    return slot.get();
}

bool Key::RemoveChild(std::wstring_view childName) {
    return children.erase(FoldName(childName)) != 0;
}

const Value* Key::FindValue(std::wstring_view valueName) const {
    auto it = valueIndex.find(FoldName(valueName));
    return it == valueIndex.end() ? nullptr : &values[it->second];
}

void Key::SetValue(const std::wstring& valueName, uint32_t type, std::vector<uint8_t> data) {
    auto [it, added] = valueIndex.try_emplace(FoldName(valueName), values.size());
    if (added) {
        values.push_back(Value{valueName, type, std::move(data)});
        return;
    }
    values[it->second].type = type;
    values[it->second].data = std::move(data);
}

bool Key::DeleteValue(std::wstring_view valueName) {
    auto it = valueIndex.find(FoldName(valueName));
    if (it == valueIndex.end())
        return false;
    size_t at = it->second;
    valueIndex.erase(it);
    values.erase(values.begin() + static_cast<long>(at));
    for (auto& [folded, index] : valueIndex) {
        if (index > at)
            --index;
    }
    return true;
}

}  // namespace platform::registry
