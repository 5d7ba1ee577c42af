// One line of description for every built-in symbol, for the reference
// that the documentation generator writes. The kernel keeps no prose about
// its symbols, so the text lives here, keyed by name; the generator refuses
// to run when a built-in has no line or a line names no built-in.
#pragma once

#include <cstddef>

struct BuiltinDescription {
    const char *name;
    const char *text;
};

extern const BuiltinDescription BuiltinDescriptions[];
extern const size_t BuiltinDescriptionCount;
