// The reference entries of the built-ins, from the embedded docs/builtins.md.
#include "reference.h"

#include <cstring>

extern const char kReferenceText[];

std::string Reference_Entry(const std::string &name) {
    if (name.empty()) return std::string();
    std::string heading = "\n## " + name + "\n";
    const char *text = kReferenceText;
    const char *at = std::strstr(text, heading.c_str());
    if (!at) return std::string();
    const char *start = at + heading.size();
    const char *end = std::strstr(start, "\n## ");
    std::string entry = end ? std::string(start, end + 1) : std::string(start);
    // The blank line that separates entries in the file is not part of one.
    while (entry.size() > 1 && entry[0] == '\n') entry.erase(0, 1);
    while (entry.size() > 1 && entry[entry.size() - 1] == '\n' && entry[entry.size() - 2] == '\n') entry.pop_back();
    return entry;
}
