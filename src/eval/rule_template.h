// The right side of a rule compiled for substitution. Pattern_Substitute
// walks the right side on every application, looking every symbol up among
// the bound names; a template records once where the names occur, so that
// an application only allocates the nodes that contain a name and fills
// their slots. The result is the one Pattern_Substitute gives: parts
// without names are shared, the rest are new unevaluated expressions.
#pragma once

#include <cstdint>
#include <vector>

#include "eval/pattern.h"
#include "object/object.h"

struct TemplateSlot {
    enum Kind : int32_t { CONSTANT, NAME, NODE } kind;
    int32_t index;     // NAME: the binding; NODE: the node built earlier
    Object *constant;  // CONSTANT: borrowed from the right side
};

struct RuleTemplate {
    // Nodes in post-order, each a run of slots (head first) in slots.
    std::vector<TemplateSlot> slots;
    std::vector<std::pair<int64_t, int64_t>> nodes;  // first slot, slot count
    TemplateSlot root;
    bool built = false;
};

// Compiles right (borrowed; it must outlive the template) for the names of
// bindings.
void RuleTemplate_Build(RuleTemplate *t, Object *right, const BindingList *bindings);

// The right side with every name replaced by a new reference to its value
// in bindings (an unbound name by Sequence()); a new reference.
Object *RuleTemplate_Apply(const RuleTemplate *t, const BindingList *bindings);
