#pragma once
// The keys and values of one registry hive in memory, and the rule by which their names match.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::registry {

// A key or value name folded so that names differing only in case give the same text. Every
// comparison of names in the registry goes through here.
std::wstring FoldName(std::wstring_view name);

bool SameName(std::wstring_view a, std::wstring_view b);

struct Value {
    std::wstring name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// A key and everything below it. Names keep the case they were first written in.
struct Key {
    std::wstring name;
    std::vector<Value> values;                              // in the order first written
    std::unordered_map<std::wstring, size_t> valueIndex;    // folded name -> position in values
    std::map<std::wstring, std::unique_ptr<Key>> children;  // by folded name: Windows' order

    Key() = default;
    Key(Key&&) = default;
    Key& operator=(Key&&) = default;
    // Deep: a change works on a copy of the cached tree.
    Key(const Key& other);
    Key& operator=(const Key&) = delete;

    Key* Child(std::wstring_view childName) const;
    // The child of that name, created when missing.
    Key* AddChild(const std::wstring& childName);
    // Removes the child and everything below it; false when there is none.
    bool RemoveChild(std::wstring_view childName);

    const Value* FindValue(std::wstring_view valueName) const;
    void SetValue(const std::wstring& valueName, uint32_t type, std::vector<uint8_t> data);
    bool DeleteValue(std::wstring_view valueName);
};

}  // namespace platform::registry
