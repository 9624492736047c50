#pragma once
// Resources compiled into the executable: each file becomes one entry addressed by
// TYPE:NAME (type upper case, name compared case-insensitively).

#include <cstddef>

namespace SOUI {

struct SEmbeddedRes {
    const char* type;  // "UIDEF", "LAYOUT", "IMG", "RTF", "ICON", ...
    const char* name;
    const unsigned char* data;
    size_t size;
};

}  // namespace SOUI

// The table of the program's embedded resources, defined by the generated code of
// resources/. `count` receives the number of entries.
const SOUI::SEmbeddedRes* QiGetEmbeddedResources(size_t* count);
