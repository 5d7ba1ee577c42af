// Pattern specificity of two patterns, the part of the comparison operation
// that orders a symbol's definitions from the most specific left side to the
// most general.
#pragma once

#include <cstdint>

#include "object/object.h"

struct BindingList;

// The specificity bits of Compare (CMP_SAME, CMP_MORE_SPECIFIC,
// CMP_MORE_GENERAL, or none when the two are incomparable) for a against b.
// The binding lists record the pattern first seen for each name (either may
// be null). Borrows a and b.
uint64_t Specificity_Compare(Object *a, Object *b, BindingList *la, BindingList *lb);

// 1 for Any, 2 for AnySequence, 3 for AnyNullSequence (from the most
// specific blank to the most general), 0 for every other object.
int Specificity_BlankRank(Object *o);

// The specificity bits for two blank ranks.
uint64_t Specificity_Ranks(int ra, int rb);
