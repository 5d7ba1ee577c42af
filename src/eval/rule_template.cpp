#include "eval/rule_template.h"

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
Object *Fill(const TemplateSlot &s, const BindingList *bindings, Object **made) {
    switch (s.kind) {
    case TemplateSlot::CONSTANT: return Object_AddRef(s.constant);
    case TemplateSlot::NAME: {
        Object *value = bindings->items[size_t(s.index)].value;
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
            slot = {TemplateSlot::NODE, int32_t(t->nodes.size()), nullptr};
            t->nodes.push_back({int64_t(t->slots.size()), int64_t(pending.size() - done.start)});
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

Object *RuleTemplate_Apply(const RuleTemplate *t, const BindingList *bindings) {
    constexpr size_t kInline = 16;
    Object *inlineMade[kInline];
    std::vector<Object *> heapMade;
    Object **made = inlineMade;
    if (t->nodes.size() > kInline) {
        heapMade.resize(t->nodes.size());
        made = heapMade.data();
    }
    const TemplateSlot *slots = t->slots.data();
    for (size_t k = 0; k < t->nodes.size(); ++k) {
        auto [first, count] = t->nodes[k];
        Object *node = Expression_NewSized(Fill(slots[first], bindings, made), count - 1);
        Object **elements = AsExpression(node)->elements;
        for (int64_t i = 1; i < count; ++i) elements[i] = Fill(slots[first + i], bindings, made);
        made[k] = node;
    }
    return Fill(t->root, bindings, made);
}
