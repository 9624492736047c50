#pragma once
// The named-ID table: every control name of the two layouts with the id the UI library
// gives the control of that name. Sorted by name (character code order) so the library can
// search it by bisection; handed to SApplication::InitXmlNamedID at start-up.

#include <cstddef>

#include "uilib/SApplication.h"

// The 27 entries, sorted by name; `count` receives their number.
const SOUI::SNamedID* QiGetNamedIds(size_t* count);
