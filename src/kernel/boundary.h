// The library boundary and the kernel's one policy for running out of
// memory.
//
// An allocation that fails anywhere in the kernel throws std::bad_alloc: the
// pools, the element arrays, the string buffers and the standard containers
// all do. Only the limb layer catches its own failures, because an integer
// that cannot grow has a defined value (Overflow, with the Integer::Overflow
// message) and the computation goes on with it. Everything else unwinds to
// the boundary: every exported function runs its body through Boundary_Call,
// which catches the exception (or any other, so that none ever reaches the
// host), puts back the transient state the unwound frames left behind and
// returns the function's failure value: 0, a null handle or the empty text.
//
// An abort the host asks for through its poll (kernel/abort.h) takes the
// same way out, from points where nothing is half-changed.
//
// What stays: every symbol, definition and attribute, and every handle the
// host holds. What goes: the objects that the unwound frames held by plain
// pointers stay in their pools, unreachable, until the next reset.
#pragma once

#include <new>

// Puts the evaluator's and the formatter's transient state back as it is
// between two calls: definition depth, limit flags, message suppression,
// the formatter's stacks, and the match progress kept in definition
// entries. Never allocates.
void Boundary_Recover() noexcept;

// Runs body() and returns its result, or recovers and returns failed when
// it throws.
template <class Result, class Body>
Result Boundary_Call(Result failed, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        Boundary_Recover();
        return failed;
    }
}
