#include "eval/rule_template.h"

#include <algorithm>

#include "object/expression.h"
#include "object/small_stack.h"

namespace {

TemplateSlot Leaf(Object *o, const BindingList *bindings) {
    if (Object_IsSymbol(o)) {
        for (size_t i = 0; i < bindings->items.size(); ++i)
            if (bindings->items[i].name == o) return {TemplateSlot::NAME, int32_t(i), nullptr};
    }
    return {TemplateSlot::CONSTANT, 0, o};
}

// A new reference to the value of one slot; made holds the nodes built so
// far, each handed to its one parent.
Object *Fill(const TemplateSlot &s, Object *const *values, Object **made) {
    switch (s.kind) {
    case TemplateSlot::CONSTANT: return Object_AddRef(s.constant);
    case TemplateSlot::NAME: {
        Object *value = values[s.index];
        return value ? Object_AddRef(value) : Sequence_Empty();
    }
    default: return made[s.index];
    }
}

}  // namespace

void RuleTemplate_Build(RuleTemplate *t, Object *right, const BindingList *bindings) {
    t->slots.clear();
    t->nodes.clear();
    t->built = true;
    if (!Object_IsExpression(right)) {
        t->root = Leaf(right, bindings);
        return;
    }
    // Post-order: the slots of the node under way collect in pending from
    // its start; a finished node without names becomes one constant slot
    // of its parent.
    struct Frame {
        Object *e;
        int64_t next;
        size_t start;
    };
    std::vector<TemplateSlot> pending;
    SmallStack<Frame, 32> stack;
    stack.push({right, 0, 0});
    for (;;) {
        Frame &f = stack.top();
        if (f.next <= Expression_Length(f.e)) {
            Object *child = Expression_At(f.e, f.next++);
            if (Object_IsExpression(child)) stack.push({child, 0, pending.size()});
            else pending.push_back(Leaf(child, bindings));
            continue;
        }
        Frame done = f;
        stack.pop();
        bool constant = true;
        for (size_t i = done.start; i < pending.size(); ++i) constant = constant && pending[i].kind == TemplateSlot::CONSTANT;
        TemplateSlot slot{TemplateSlot::CONSTANT, 0, done.e};
        if (!constant) {
            // The subtree starts at the first node among its slots' subtrees.
            int64_t first = int64_t(t->nodes.size());
            for (size_t i = done.start; i < pending.size(); ++i)
                if (pending[i].kind == TemplateSlot::NODE) first = std::min(first, t->nodes[size_t(pending[i].index)].firstNode);
            slot = {TemplateSlot::NODE, int32_t(t->nodes.size()), nullptr};
            t->nodes.push_back({int64_t(t->slots.size()), int64_t(pending.size() - done.start), first});
            t->slots.insert(t->slots.end(), pending.begin() + std::ptrdiff_t(done.start), pending.end());
        }
        pending.resize(done.start);
        if (stack.empty()) {
            t->root = slot;
            return;
        }
        pending.push_back(slot);
    }
}

Object *RuleTemplate_ApplySlot(const RuleTemplate *t, const TemplateSlot &s, Object *const *values) {
    if (s.kind != TemplateSlot::NODE) return Fill(s, values, nullptr);
    size_t last = size_t(s.index), first = size_t(t->nodes[last].firstNode);
    constexpr size_t kInline = 16;
    Object *inlineMade[kInline];
    std::vector<Object *> heapMade;
    Object **made = inlineMade;
    if (last + 1 > kInline) {
        heapMade.resize(last + 1);
        made = heapMade.data();
    }
    const TemplateSlot *slots = t->slots.data();
    for (size_t k = first; k <= last; ++k) {
        const TemplateNode &n = t->nodes[k];
        Object *node = Expression_NewSized(Fill(slots[n.firstSlot], values, made), n.slots - 1);
        Object **elements = AsExpression(node)->elements;
        for (int64_t i = 1; i < n.slots; ++i) elements[i] = Fill(slots[n.firstSlot + i], values, made);
        made[k] = node;
    }
    return made[last];
}
