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

struct TemplateNode {
    int64_t firstSlot, slots;  // its run of slots, head first
    int64_t firstNode;         // its subtree: nodes firstNode .. itself
};

struct RuleTemplate {
    // Nodes in post-order, so that each subtree is a run of nodes ending
    // with its root.
    std::vector<TemplateSlot> slots;
    std::vector<TemplateNode> nodes;
    TemplateSlot root;
    bool built = false;
};

// Compiles right (borrowed; it must outlive the template) for the names of
// bindings.
void RuleTemplate_Build(RuleTemplate *t, Object *right, const BindingList *bindings);

// The part of the right side that slot s stands for, with every name
// replaced by a new reference to its value (values[i] for binding i, null
// for an unbound name, which becomes Sequence()); a new reference.
Object *RuleTemplate_ApplySlot(const RuleTemplate *t, const TemplateSlot &s, Object *const *values);

// The whole right side, filled in the same way.
inline Object *RuleTemplate_Apply(const RuleTemplate *t, Object *const *values) {
    return RuleTemplate_ApplySlot(t, t->root, values);
}
