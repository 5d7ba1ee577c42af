// Rules and replacement. Rules are plain data, lhs -> rhs and lhs :> rhs;
// Replace rewrites an expression with one rule or a list of them, top-down:
// at each subexpression the rules are tried before its arguments are, and
// a part that was replaced is not searched again.
#pragma once

#include <cstdint>

#include "object/native_table.h"
#include "object/object.h"

// Rewrites e with the rules of ruleList (a List whose every element is a
// two-argument Rule or RuleDelayed; borrowed) down to levels levels below
// e (0: e alone; negative acts as 0). Consumes e and returns the rewritten
// expression, not evaluated; every changed expression has lost its stamp.
Object *Replace_RuleList(Object *e, Object *ruleList, int64_t levels);

// Replace[expr, rules] and Replace[expr, rules, levels]. Consumes call;
// returns the rewritten, evaluated expression, or call itself when the
// rules or the level bound are not acceptable.
Object *Builtin_Replace(Object *call);

// The natives of this module, for the registry.
extern const NativeTable ReplaceNatives;
