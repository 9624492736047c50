#include "platform/Registry.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/RegistryFormat.h"
#include "platform/RegistryHive.h"
#include "platform/SystemInfo.h"

namespace platform {

struct RegKeyObject {
    bool predefined = false;
    bool machine = true;
    std::vector<std::wstring> path;  // logical path below the root, as the caller spelled it
    bool view32 = false;             // seen through WOW6432Node
    uint32_t access = 0;
};

namespace {

using namespace registry;

// What the predefined roots (handle values only, never dereferenced) stand for.
const RegKeyObject s_machineRoot{true, true, {}, false, 0xFFFFFFFFu};
const RegKeyObject s_userRoot{true, false, {}, false, 0xFFFFFFFFu};

bool IsRoot(HKEY key) {
    return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER;
}

constexpr wchar_t kRedirectNode[] = L"WOW6432Node";

std::vector<std::wstring> SplitPath(const wchar_t* subKey) {
    std::vector<std::wstring> parts;
    if (subKey == nullptr)
        return parts;
    std::wstring_view rest(subKey);
    while (!rest.empty()) {
        size_t pos = rest.find(L'\\');
        std::wstring_view part = rest.substr(0, pos);
        if (!part.empty())
            parts.emplace_back(part);
        if (pos == std::wstring_view::npos)
            break;
        rest.remove_prefix(pos + 1);
    }
    return parts;
}

// The path a key has in the file, and whether the 32-bit view inserted WOW6432Node into it.
struct PhysicalPath {
    std::vector<std::wstring> parts;
    bool redirected = false;
};

PhysicalPath ToPhysical(bool machine, const std::vector<std::wstring>& logical, bool view32) {
    PhysicalPath p{logical, false};
    if (view32 && machine && !logical.empty() && SameName(logical[0], L"Software") &&
        !(logical.size() > 1 && SameName(logical[1], kRedirectNode))) {
        p.parts.insert(p.parts.begin() + 1, kRedirectNode);
        p.redirected = true;
    }
    return p;
}

// The key at a physical path, or null. The redirection node counts as present (empty) while
// "Software" exists, as it always does on 64-bit Windows.
const Key* Lookup(const Key& root, const PhysicalPath& path) {
    static const Key s_emptyKey;
    const Key* k = &root;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        const Key* next = k->Child(path.parts[i]);
        if (next == nullptr) {
            if (path.redirected && i == 1 && path.parts.size() == 2)
                return &s_emptyKey;
            return nullptr;
        }
        k = next;
    }
    return k;
}

Key* LookupMutable(Key& root, const PhysicalPath& path, bool createRedirectNode) {
    Key* k = &root;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        Key* next = k->Child(path.parts[i]);
        if (next == nullptr && path.redirected && i == 1 && createRedirectNode) {
            next = k->AddChild(path.parts[i]);
        }
        if (next == nullptr)
            return nullptr;
        k = next;
    }
    return k;
}

// ---------------------------------------------------------------------------------------------
// Handles

std::mutex s_handleMutex;
std::unordered_set<RegKeyObject*> s_handles;

// A copy of the key's state, so that a concurrent RegCloseKey cannot pull it away.
bool Snapshot(HKEY key, RegKeyObject& out) {
    if (key == nullptr)
        return false;
    if (IsRoot(key)) {
        out = key == HKEY_LOCAL_MACHINE ? s_machineRoot : s_userRoot;
        return true;
    }
    std::lock_guard<std::mutex> lock(s_handleMutex);
    if (s_handles.count(key) == 0)
        return false;
    out = *key;
    return true;
}

HKEY NewHandle(const RegKeyObject& state) {
    auto* obj = new RegKeyObject(state);
    std::lock_guard<std::mutex> lock(s_handleMutex);
    s_handles.insert(obj);
    return obj;
}

bool HasAccess(const RegKeyObject& k, uint32_t needed) {
    return (k.access & needed) == needed;
}

// The view a key opened under `parent` with `sam` sees.
bool ChooseView32(const RegKeyObject& parent, uint32_t sam) {
    if (sam & KEY_WOW64_64KEY)
        return false;
    if (sam & KEY_WOW64_32KEY)
        return true;
    if (parent.predefined)
        return IsWow64Process();
    return parent.view32;
}

RegKeyObject ChildState(const RegKeyObject& parent, const std::vector<std::wstring>& parts,
                        uint32_t sam) {
    RegKeyObject child;
    child.machine = parent.machine;
    child.path = parent.path;
    child.path.insert(child.path.end(), parts.begin(), parts.end());
    child.view32 = ChooseView32(parent, sam);
    child.access = sam & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    return child;
}

// The key a handle names, in a hive read just now, after what every reading call checks in
// this order: the handle, its parameters (`badParameter`) and the handle's `access`.
// ERROR_KEY_DELETED when the key is gone.
LSTATUS OpenForRead(HKEY key, bool badParameter, uint32_t access,
                    std::shared_ptr<const LoadedHive>& hive, const Key*& out) {
    RegKeyObject k;
    if (!Snapshot(key, k))
        return ERROR_INVALID_HANDLE;
    if (badParameter)
        return ERROR_INVALID_PARAMETER;
    if (!HasAccess(k, access))
        return ERROR_ACCESS_DENIED;
    hive = LoadHive(k.machine);
    if (k.path.empty()) {
        out = &hive->root;  // a root exists whatever its file holds
        return ERROR_SUCCESS;
    }
    out = Lookup(hive->root, ToPhysical(k.machine, k.path, k.view32));
    return out ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// The handle of a call that changes values: valid, and opened with KEY_SET_VALUE.
LSTATUS SnapshotForSet(HKEY key, RegKeyObject& k) {
    if (!Snapshot(key, k))
        return ERROR_INVALID_HANDLE;
    return HasAccess(k, KEY_SET_VALUE) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS CopyName(const std::wstring& name, wchar_t* buffer, uint32_t* chars) {
    if (buffer == nullptr || chars == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *chars)
        return ERROR_MORE_DATA;
    name.copy(buffer, name.size());
    buffer[name.size()] = 0;
    *chars = static_cast<uint32_t>(name.size());
    return ERROR_SUCCESS;
}

LSTATUS CopyData(const Value& v, uint32_t* type, uint8_t* data, uint32_t* size) {
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (type)
        *type = v.type;
    if (size == nullptr)
        return ERROR_SUCCESS;
    auto stored = static_cast<uint32_t>(v.data.size());
    if (data != nullptr) {
        if (*size < stored) {
            *size = stored;
            return ERROR_MORE_DATA;
        }
        std::copy(v.data.begin(), v.data.end(), data);
    }
    *size = stored;
    return ERROR_SUCCESS;
}

}  // namespace

// -------------------------------------------------------------------------------------------------

LSTATUS RegOpenKeyExW(HKEY key, const wchar_t* subKey, uint32_t /*options*/, uint32_t samDesired,
                      HKEY* result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    RegKeyObject parent;
    if (!Snapshot(key, parent))
        return ERROR_INVALID_HANDLE;
    RegKeyObject child = ChildState(parent, SplitPath(subKey), samDesired);
    if (!child.path.empty()) {
        std::shared_ptr<const LoadedHive> hive = LoadHive(child.machine);
        if (Lookup(hive->root, ToPhysical(child.machine, child.path, child.view32)) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    *result = NewHandle(child);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY key, const wchar_t* subKey, uint32_t /*reserved*/, wchar_t* keyClass,
                        uint32_t /*options*/, uint32_t samDesired, const void* security,
                        HKEY* result, uint32_t* disposition) {
    if (result == nullptr || keyClass != nullptr || security != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    RegKeyObject parent;
    if (!Snapshot(key, parent))
        return ERROR_INVALID_HANDLE;
    std::vector<std::wstring> parts = SplitPath(subKey);
    for (const std::wstring& p : parts) {
        if (p.size() > kMaxKeyNameLength || !IsStorableName(p))
            return ERROR_INVALID_PARAMETER;
    }
    RegKeyObject child = ChildState(parent, parts, samDesired);
    bool created = false;
    if (!child.path.empty()) {
        // Most calls find the key; only a missing one costs the lock and a write.
        std::shared_ptr<const LoadedHive> hive = LoadHive(child.machine);
        PhysicalPath phys = ToPhysical(child.machine, child.path, child.view32);
        if (Lookup(hive->root, phys) == nullptr) {
            if (!HasAccess(parent, KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            PhysicalPath parentPhys = ToPhysical(parent.machine, parent.path, child.view32);
            LSTATUS status = ModifyHive(child.machine, [&](Key& root, bool& dirty) {
                if (!parent.path.empty() && Lookup(root, parentPhys) == nullptr) {
                    return ERROR_KEY_DELETED;
                }
                Key* k = &root;
                for (const std::wstring& part : phys.parts) {
                    if (k->Child(part) == nullptr) {
                        dirty = true;
                        created = true;
                    }
                    k = k->AddChild(part);
                }
                return ERROR_SUCCESS;
            });
            if (status != ERROR_SUCCESS)
                return status;
        }
    }
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(child);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    if (IsRoot(key))
        return ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> lock(s_handleMutex);
        if (key == nullptr || s_handles.erase(key) == 0)
            return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExW(HKEY key, uint32_t index, wchar_t* name, uint32_t* nameChars,
                      uint32_t* reserved, wchar_t* keyClass, uint32_t* classChars,
                      void* lastWriteTime) {
    std::shared_ptr<const LoadedHive> hive;
    const Key* node = nullptr;
    bool badParameter = reserved || keyClass || classChars || lastWriteTime;
    if (LSTATUS s = OpenForRead(key, badParameter, KEY_ENUMERATE_SUB_KEYS, hive, node))
        return s;
    if (index >= node->children.size())
        return ERROR_NO_MORE_ITEMS;
    auto it = node->children.begin();
    std::advance(it, index);
    return CopyName(it->second->name, name, nameChars);
}

LSTATUS RegEnumValueW(HKEY key, uint32_t index, wchar_t* valueName, uint32_t* valueNameChars,
                      uint32_t* reserved, uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    std::shared_ptr<const LoadedHive> hive;
    const Key* node = nullptr;
    if (LSTATUS s = OpenForRead(key, reserved != nullptr, KEY_QUERY_VALUE, hive, node))
        return s;
    if (index >= node->values.size())
        return ERROR_NO_MORE_ITEMS;
    const Value& v = node->values[index];
    if (LSTATUS s = CopyName(v.name, valueName, valueNameChars))
        return s;
    return CopyData(v, type, data, dataSize);
}

LSTATUS RegQueryValueExW(HKEY key, const wchar_t* valueName, uint32_t* reserved, uint32_t* type,
                         uint8_t* data, uint32_t* dataSize) {
    std::shared_ptr<const LoadedHive> hive;
    const Key* node = nullptr;
    if (LSTATUS s = OpenForRead(key, reserved != nullptr, KEY_QUERY_VALUE, hive, node))
        return s;
    const Value* v = node->FindValue(valueName ? valueName : L"");
    return v ? CopyData(*v, type, data, dataSize) : ERROR_FILE_NOT_FOUND;
}

LSTATUS RegSetValueExW(HKEY key, const wchar_t* valueName, uint32_t /*reserved*/, uint32_t type,
                       const uint8_t* data, uint32_t size) {
    RegKeyObject k;
    if (LSTATUS s = SnapshotForSet(key, k))
        return s;
    std::wstring name = valueName ? valueName : L"";
    if (name.size() > kMaxValueNameLength || !IsStorableName(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (data == nullptr && size != 0)
        return ERROR_INVALID_PARAMETER;
    std::vector<uint8_t> bytes(data, data + size);
    PhysicalPath phys = ToPhysical(k.machine, k.path, k.view32);
    return ModifyHive(k.machine, [&](Key& root, bool& dirty) {
        Key* node = LookupMutable(root, phys, true);
        if (node == nullptr)
            return ERROR_KEY_DELETED;
        node->SetValue(name, type, std::move(bytes));
        dirty = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteValueW(HKEY key, const wchar_t* valueName) {
    RegKeyObject k;
    if (LSTATUS s = SnapshotForSet(key, k))
        return s;
    std::wstring name = valueName ? valueName : L"";
    PhysicalPath phys = ToPhysical(k.machine, k.path, k.view32);
    return ModifyHive(k.machine, [&](Key& root, bool& dirty) {
        Key* node = LookupMutable(root, phys, false);
        if (node == nullptr)
            return k.path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        if (!node->DeleteValue(name))
            return ERROR_FILE_NOT_FOUND;
        dirty = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteKeyExW(HKEY key, const wchar_t* subKey, uint32_t samDesired,
                        uint32_t /*reserved*/) {
    RegKeyObject parent;
    if (!Snapshot(key, parent))
        return ERROR_INVALID_HANDLE;
    RegKeyObject target = ChildState(parent, SplitPath(subKey), samDesired);
    if (target.path.empty())
        return ERROR_ACCESS_DENIED;  // a hive's root stays
    PhysicalPath phys = ToPhysical(target.machine, target.path, target.view32);
    return ModifyHive(target.machine, [&](Key& root, bool& dirty) {
        Key* container = &root;
        for (size_t i = 0; i + 1 < phys.parts.size(); ++i) {
            container = container->Child(phys.parts[i]);
            if (container == nullptr)
                return ERROR_FILE_NOT_FOUND;
        }
        const Key* doomed = container->Child(phys.parts.back());
        if (doomed == nullptr)
            return ERROR_FILE_NOT_FOUND;
        if (!doomed->children.empty())
            return ERROR_ACCESS_DENIED;
        container->RemoveChild(phys.parts.back());
        dirty = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteKeyW(HKEY key, const wchar_t* subKey) {
    return RegDeleteKeyExW(key, subKey, 0, 0);
}

LSTATUS RegExportKey(HKEY key, const wchar_t* subKey, uint32_t samDesired, std::wstring& text) {
    RegKeyObject parent;
    if (!Snapshot(key, parent))
        return ERROR_INVALID_HANDLE;
    RegKeyObject target = ChildState(parent, SplitPath(subKey), samDesired);
    std::shared_ptr<const LoadedHive> hive = LoadHive(target.machine);
    PhysicalPath phys = ToPhysical(target.machine, target.path, target.view32);
    const Key* node = Lookup(hive->root, phys);
    if (node == nullptr)
        return ERROR_FILE_NOT_FOUND;
    // The full name as stored, in the case the hive keeps.
    std::wstring fullName = target.machine ? kMachineRootName : kUserRootName;
    const Key* k = &hive->root;
    for (const std::wstring& part : phys.parts) {
        k = k ? k->Child(part) : nullptr;
        fullName += L"\\" + (k ? k->name : part);
    }
    std::wstring body = FormatRegText(*node, fullName);
    text.clear();
    text.reserve(body.size() + body.size() / 16);
    for (wchar_t c : body) {
        if (c == L'\n')
            text.push_back(L'\r');
        text.push_back(c);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegImportFile(const std::string& bytes, size_t& badLine) {
    std::vector<RegLine> ops;
    if (!ParseImportFile(bytes, ops, badLine))
        return ERROR_BADDB;
    for (bool machine : {true, false}) {
        HKEY hiveRoot = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        bool touched = false;
        for (const RegLine& op : ops)
            touched = touched || op.root == hiveRoot;
        if (!touched)
            continue;
        LSTATUS status = ModifyHive(machine, [&](Key& root, bool& dirty) {
            for (RegLine& op : ops) {
                if (op.root != hiveRoot)
                    continue;
                Key* node = &root;
                size_t walk =
                    op.kind == RegLine::Kind::DeleteKey ? op.parts.size() - 1 : op.parts.size();
                bool create =
                    op.kind != RegLine::Kind::DeleteKey && op.kind != RegLine::Kind::DeleteValue;
                for (size_t i = 0; node != nullptr && i < walk; ++i)
                    node = create ? node->AddChild(op.parts[i]) : node->Child(op.parts[i]);
                dirty = true;
                if (node == nullptr)
                    continue;  // deleting what is not there
                if (op.kind == RegLine::Kind::DeleteKey) {
                    node->RemoveChild(op.parts.back());
                } else if (op.kind == RegLine::Kind::Value) {
                    node->SetValue(op.name, op.type, op.data);
                } else if (op.kind == RegLine::Kind::DeleteValue) {
                    node->DeleteValue(op.name);
                }
            }
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

}  // namespace platform
