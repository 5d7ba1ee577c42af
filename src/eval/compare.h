// The one comparison operation of the kernel. A request word selects what
// the caller wants to know about two objects (pattern specificity, canonical
// order, numeric relation); the result is a set of bits. Dispatch is on the
// pair of type ids through a 7 by 7 table.
#pragma once

#include <cstdint>

#include "object/object.h"

struct BindingList;

// Result bits.
constexpr uint64_t CMP_SAME = 0x1;
constexpr uint64_t CMP_MORE_SPECIFIC = 0x2;
constexpr uint64_t CMP_MORE_GENERAL = 0x4;
constexpr uint64_t CMP_ORDER_EQUAL = 0x8;
constexpr uint64_t CMP_BEFORE = 0x10;
constexpr uint64_t CMP_AFTER = 0x20;
constexpr uint64_t CMP_IDENTICAL = 0x40;
constexpr uint64_t CMP_EQUAL = 0x80;
constexpr uint64_t CMP_UNEQUAL = 0x100;
constexpr uint64_t CMP_LESS = 0x200;
constexpr uint64_t CMP_GREATER = 0x400;
constexpr uint64_t CMP_FIRST_NOT_NUMERIC = 0x800;
constexpr uint64_t CMP_SECOND_NOT_NUMERIC = 0x1000;
constexpr uint64_t CMP_FIRST_UNORDERED = 0x2000;
constexpr uint64_t CMP_SECOND_UNORDERED = 0x4000;

// Request groups and flags.
constexpr uint64_t CMP_REQ_SPECIFICITY = 0x7;
constexpr uint64_t CMP_REQ_ORDER = 0x38;
constexpr uint64_t CMP_REQ_NUMERIC = 0x7C0;
constexpr uint64_t CMP_RELEASE_FIRST = 0x8000;
constexpr uint64_t CMP_RELEASE_SECOND = 0x10000;

// Compares a with b for the groups in request. The binding lists record the
// pattern first seen for each name while two patterns are compared for
// specificity (either may be null). Borrows a and b unless the release
// flags ask for them to be released afterwards.
uint64_t Compare(Object *a, Object *b, uint64_t request, BindingList *listA = nullptr, BindingList *listB = nullptr);

// The result for (b, a) from the result for (a, b).
uint64_t Compare_Mirror(uint64_t bits);

