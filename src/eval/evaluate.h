// The evaluator: rewrites expressions with the definitions stored in symbol
// records until none applies. It is the evaluate slot of expressions and
// symbols; numbers and strings evaluate to themselves.
#pragma once

#include <cstdint>

#include "object/object.h"

struct DefinitionEntry;

// Options bit of Symbol_Evaluate: return null instead of the symbol when it
// has no own value.
constexpr int64_t EVAL_NULL_IF_UNCHANGED = 1;

// Consumes e, returns its value.
Object *Expression_Evaluate(Object *e, int64_t *options);

// Consumes s, returns its own value applied, or s itself (null with
// EVAL_NULL_IF_UNCHANGED) when it has none.
Object *Symbol_Evaluate(Object *s, int64_t *options);

// The stamp of e when e and everything in it is up to date, else 0.
int64_t Expression_IsEvaluated(Object *e);

// Applies a found definition to e (consumed) and returns the result,
// counting the application against the recursion limit.
Object *Definition_Apply(DefinitionEntry *entry, Object *e);

// Offers the symbolic result a native built to the user's rules: the
// candidate is head[a, b] (a and b borrowed, either may be null) when head
// is given, else *slot. On a match the result replaces *slot (the old value
// is released) and true is returned; otherwise *slot is left alone.
bool Definition_ApplyUser(Object **slot, Object *head, Object *a, Object *b);

// Evaluates o (consumed) on the kernel's deep evaluation stack, so that
// deeply nested expressions do not exhaust the host thread's stack.
Object *Evaluate_TopLevel(Object *o);
