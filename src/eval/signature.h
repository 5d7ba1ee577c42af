// Cheap facts about a definition's left side, read before the pattern
// matcher runs: most subjects are ruled out (or in) by their argument counts
// and by the literal arguments and heads of the pattern, so that the general
// matcher runs only on candidates.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "eval/pattern.h"
#include "object/object.h"

// A literal argument of the pattern at a position that every subject
// argument list aligns with: the subject's argument there must be the same
// atom, or an expression with the same head symbol.
struct ArgumentFilter {
    int64_t position;
    Object *object;  // borrowed from the left side
    bool head;       // object is the head symbol an expression argument must have
};

struct Signature {
    // A left side h(blanks) of unnamed Any, AnySequence, AnyNullSequence,
    // where h is a symbol or again such a call (Function(?)(???)), matches
    // exactly the expressions whose argument counts lie in the ranges, level
    // by level from the outside in, around the same root symbol, with
    // nothing to bind: such entries (most natives) are decided without the
    // matcher. Empty for every other left side.
    std::vector<std::pair<int64_t, int64_t>> arity;
    // The range of top-level argument counts the left side can match when
    // its head is not Flat; maxArgs is INT64_MAX for "any number".
    int64_t minArgs = 0, maxArgs = INT64_MAX;
    // The left side is h(a1, ..., an) of single blanks, each unnamed or
    // named with a name of its own: a subject with n arguments matches with
    // each name bound to the argument at its position.
    bool positional = false;
    // The head is a call of an ordinary symbol (Function(?) in
    // Function(?)(???)), which only an expression head can match.
    bool callHead = false;
    std::vector<ArgumentFilter> filters;
};

// The facts of the left side lhs (borrowed; it must outlive the signature).
void Signature_Build(Signature *signature, Object *lhs);

enum SignatureVerdict { SIGNATURE_NO, SIGNATURE_MAYBE, SIGNATURE_YES };

// Whether subject (borrowed) can match the left side lhs the signature was
// built from: NO when it cannot, YES when it matches (the bindings of a
// positional left side then hold its arguments, as the matcher would have
// left them), MAYBE when only the matcher can tell. flat and orderless are
// the attributes of the head that governs the match.
SignatureVerdict Signature_Check(const Signature *signature, Object *lhs, Object *subject, BindingList *bindings,
                                 bool flat, bool orderless);

// Whether the left side holds no pattern construct anywhere and no head
// whose attributes let the matcher accept anything but the same expression
// (Flat, Orderless), so that it matches exactly the expressions that are the
// same as it. Borrows lhs.
bool Signature_IsLiteral(Object *lhs);
