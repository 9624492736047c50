#pragma once
// The hive store: each hive's file read into a key tree, kept in memory while the file is
// unchanged, and changed under the hive's lock by an atomic replace of the file.

#include <functional>
#include <memory>

#include "platform/Registry.h"
#include "platform/RegistryTree.h"

namespace platform::registry {

// Damaged: lines were skipped; Corrupt: the file is no regedit file; Unreadable: see `error`.
enum class HiveState { Missing, Ok, Damaged, Corrupt, Unreadable };

struct LoadedHive {
    HiveState state = HiveState::Missing;
    int error = 0;  // errno, when Unreadable
    Key root;
};

// The hive as its file holds it now: the cached tree while the file is unchanged, else the file
// parsed anew. A damaged file is logged once per version.
std::shared_ptr<const LoadedHive> LoadHive(bool machine);

// A change to a hive's tree: returns a status and sets `dirty` when the tree changed.
using HiveChange = std::function<LSTATUS(Key& root, bool& dirty)>;

// Runs `change` on a copy of the hive under the hive's exclusive lock and, when it succeeds and
// sets `dirty`, writes the result back. A hive whose file does not parse is never written
// (ERROR_BADDB); a file that cannot be written gives ERROR_ACCESS_DENIED or
// ERROR_REGISTRY_IO_FAILED.
LSTATUS ModifyHive(bool machine, const HiveChange& change);

}  // namespace platform::registry
