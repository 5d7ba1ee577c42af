// The reference entries of the built-ins that ?Name shows at the prompt,
// taken from docs/builtins.md, which is built into the program.
#pragma once

#include <string>

// The entry of the built-in name: from its "## name" line up to the line
// before the next entry, without the heading line; empty when there is
// none.
std::string Reference_Entry(const std::string &name);
