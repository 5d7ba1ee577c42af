// Ordering the arguments of an expression: a stable merge sort by the
// canonical order or by a user ordering function, and the removal of
// adjacent duplicates that turns a sorted expression into a set.
#pragma once

#include <cstdint>

#include "object/object.h"

// Sorts the arguments of e from position first (1 or more) on. Without an ordering
// function, by the canonical order; with one, f[a, b] evaluating to False
// or -1 means b must come before a. Consumes e; returns e itself, untouched
// (same stamp), when nothing had to move, otherwise the unique e (a copy if
// e was shared) holding the new order. Ties keep their input order.
// Borrows orderingFunction, which may be null.
Object *Expression_Sort(Object *e, Object *orderingFunction, int64_t first);

// Removes the later members of runs of adjacent arguments that are the same.
// Consumes e; returns it (made unique when something is removed).
Object *Expression_Dedupe(Object *e);
