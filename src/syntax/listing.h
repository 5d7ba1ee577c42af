// Definition listings: Definitions writes what a symbol holds, one
// definition per line, in the language's own assignment syntax, so that a
// listing reads back as the definitions it shows.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// Definitions[s]: passes the lines of s's own value and of its definition
// list, in the order they are tried, to the print callback, and returns
// Null; any other argument leaves the call as it is. Consumes call.
Object *Builtin_Definitions(Object *call);

// The natives of this module, for the registry.
extern const NativeTable ListingNatives;
