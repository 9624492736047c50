#pragma once
// The named-ID table: every control name of the two layouts with the id the UI library
// gives the control of that name. Sorted by name (character code order) so the library can
// search it by bisection.

#include <cstddef>

struct QiNamedId {
    const wchar_t* name;
    int id;
};

// The 27 entries, sorted by name; `count` receives their number.
const QiNamedId* QiGetNamedIds(size_t* count);
