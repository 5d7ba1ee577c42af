// Control flow, logic, local variables, pure functions and the higher-order
// built-ins. Variables are replaced in the held body by substitution
// (Pattern_Substitute) and the body is then evaluated: Iterate, Scope and
// Function never assign to the names they bind.
#include "eval/control.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "eval/arith.h"
#include "eval/definition.h"
#include "eval/evaluate.h"
#include "eval/native_args.h"
#include "eval/numeric.h"
#include "eval/pattern.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "number/bigint.h"
#include "number/integer.h"
#include "number/limbs.h"
#include "number/number_arith.h"
#include "number/rational.h"
#include "number/real.h"
#include "object/expression.h"
#include "object/string.h"
#include "object/symbol.h"

namespace {

// Whether o (borrowed) is the symbol True, or False.
bool IsTrue(Object *o) { return o == BuiltinBorrowed(SYM_True); }
bool IsFalse(Object *o) { return o == BuiltinBorrowed(SYM_False); }

// Evaluates a new reference to the borrowed o.
Object *EvaluateCopy(Object *o) { return Object_Evaluate(Object_AddRef(o)); }

// ---- Bitwise and byte-wise logic ----------------------------------------------

// a op b for two Integers, on their two's complement forms. Consumes both;
// returns a new Integer.
Object *IntegerLogic(Object *a, Object *b, BigIntLogic op) {
    Ref ra(a), rb(b);
    if (Object_Subtype(a) == SUB_SMALL && Object_Subtype(b) == SUB_SMALL) {
        int64_t x = AsInteger(a)->small, y = AsInteger(b)->small;
        return Integer_FromSmall(op == BIGINT_AND ? (x & y) : op == BIGINT_OR ? (x | y) : (x ^ y));
    }
    // A word operand is widened into a temporary record for the limb work.
    auto record = [](Object *o, BigInt **temporary) -> const BigInt * {
        if (Object_Subtype(o) != SUB_SMALL) return AsInteger(o)->big;
        *temporary = BigInt_New();
        BigInt_SetSmall(*temporary, AsInteger(o)->small);
        return *temporary;
    };
    BigInt *ta = nullptr, *tb = nullptr;
    const BigInt *x = record(a, &ta), *y = record(b, &tb);
    Object *result = Integer_FromBigInt();
    BigInt_Logic(AsInteger(result)->big, x, y, op);
    if (ta) BigInt_Free(ta);
    if (tb) BigInt_Free(tb);
    return Integer_Normalize(result);
}

// a op b byte by byte for two Strings: AND as long as the shorter operand,
// OR and XOR as long as the longer (the missing bytes count as zeros).
// Borrows both; returns a new byte string.
Object *StringLogic(Object *a, Object *b, BigIntLogic op) {
    String *sa = AsString(a), *sb = AsString(b);
    if ((sa->bytes < sb->bytes) == (op != BIGINT_AND)) std::swap(sa, sb);
    // sa is now the operand whose length the result takes.
    Object *result = String_New(nullptr, sa->bytes, SUB_BYTES);
    if (sa->bytes == 0) return result;
    unsigned char *out = AsString(result)->buffer;
    std::copy(sa->buffer, sa->buffer + sa->bytes, out);
    int64_t common = std::min(sa->bytes, sb->bytes);
    if (common == 0) return result;
    if (op == BIGINT_AND) Bytes_And(out, out, sb->buffer, common);
    else if (op == BIGINT_OR) Bytes_Or(out, out, sb->buffer, common);
    else Bytes_Xor(out, out, sb->buffer, common);
    return result;
}

// ---- And, Or, Xor ----------------------------------------------------------------

// The arguments an And, Or or Xor keeps, with integers and strings folded
// into the first of their kind.
struct KeptArguments {
    std::vector<Ref> items;
    int64_t integer = -1;  // index of the kept Integer, or -1
    int64_t string = -1;   // index of the kept String, or -1

    // Keeps v (consumed), folding it with op into an earlier Integer or
    // String.
    void Keep(Object *v, BigIntLogic op) {
        int64_t *earlier = Object_IsInteger(v) ? &integer : Object_IsString(v) ? &string : nullptr;
        if (earlier && *earlier >= 0) {
            Ref &slot = items[size_t(*earlier)];
            if (Object_IsInteger(v)) {
                slot = Ref(IntegerLogic(slot.release(), v, op));
            } else {
                slot = Ref(StringLogic(slot.get(), v, op));
                Object_Release(v);
            }
            return;
        }
        if (earlier) *earlier = int64_t(items.size());
        items.emplace_back(v);
    }

    // head[kept...], offered to the user's rules. Returns a new reference.
    Object *Reduced(BuiltinSymbol head) {
        Object *e = Expression_NewSized(Builtin(head), int64_t(items.size()));
        for (size_t i = 0; i < items.size(); ++i) AsExpression(e)->elements[i + 1] = items[i].release();
        Definition_ApplyUser(&e, nullptr, nullptr, nullptr);
        return e;
    }
};

// And and Or: the held arguments are evaluated from the left until one is
// the stopping symbol (False for And, True for Or); the neutral one is
// dropped. An argument that evaluates to a Sequence is spliced in its place:
// its first element stands as the evaluated value and the others wait their
// turn to be evaluated. Consumes call.
Object *ShortCircuit(Object *call, BuiltinSymbol head, BigIntLogic op) {
    Ref held(call);
    Object *stop = BuiltinBorrowed(head == SYM_And ? SYM_False : SYM_True);
    Object *neutral = BuiltinBorrowed(head == SYM_And ? SYM_True : SYM_False);
    // Arguments still to be evaluated, the next one last.
    std::vector<Ref> pending;
    for (int64_t i = Expression_Length(call); i >= 1; --i) pending.emplace_back(Object_AddRef(Expression_At(call, i)));
    KeptArguments kept;
    while (!pending.empty()) {
        Ref v(Object_Evaluate(pending.back().release()));
        pending.pop_back();
        while (v && Native_IsCall(v.get(), SYM_Sequence)) {
            Object *sequence = v.get();
            int64_t n = Expression_Length(sequence);
            for (int64_t i = n; i >= 2; --i) pending.emplace_back(Object_AddRef(Expression_At(sequence, i)));
            v = Ref(n >= 1 ? Object_AddRef(Expression_At(sequence, 1)) : nullptr);
        }
        if (!v || v.get() == neutral) continue;
        if (v.get() == stop) return Object_AddRef(stop);
        kept.Keep(v.release(), op);
    }
    if (kept.items.empty()) return Object_AddRef(neutral);
    if (kept.items.size() == 1) return kept.items[0].release();
    return kept.Reduced(head);
}

Object *Builtin_And(Object *call) { return ShortCircuit(call, SYM_And, BIGINT_AND); }
Object *Builtin_Or(Object *call) { return ShortCircuit(call, SYM_Or, BIGINT_OR); }

// Xor: True arguments are counted and dropped, False ones dropped, and an
// odd count of True negates what remains. Consumes call.
Object *Builtin_Xor(Object *call) {
    Ref held(call);
    KeptArguments kept;
    bool odd = false;
    for (int64_t i = 1; i <= Expression_Length(call); ++i) {
        Object *a = Expression_At(call, i);
        if (IsTrue(a)) odd = !odd;
        else if (!IsFalse(a)) kept.Keep(Object_AddRef(a), BIGINT_XOR);
    }
    if (kept.items.empty()) return Builtin(odd ? SYM_True : SYM_False);
    Ref result(kept.items.size() == 1 ? kept.items[0].release() : kept.Reduced(SYM_Xor));
    return odd ? Logic_Negate(result.get(), true) : result.release();
}

// ---- Not, Boole ------------------------------------------------------------------

// The relation that holds exactly when the one whose head is given
// (borrowed) does not, as a borrowed symbol; null for other heads.
Object *OppositeRelation(Object *head) {
    static constexpr BuiltinSymbol kPairs[][2] = {
        {SYM_Equal, SYM_Unequal}, {SYM_Unequal, SYM_Equal},     {SYM_Less, SYM_GreaterEqual},
        {SYM_LessEqual, SYM_Greater}, {SYM_Greater, SYM_LessEqual}, {SYM_GreaterEqual, SYM_Less},
    };
    for (const auto &pair : kPairs)
        if (head == BuiltinBorrowed(pair[0])) return BuiltinBorrowed(pair[1]);
    return nullptr;
}

// Not(x) and Boole(x); each consumes call.
Object *Builtin_Not(Object *call) {
    Object *negated = Logic_Negate(Expression_At(call, 1), false);
    return negated ? Object_ReleaseReturn(call, negated) : call;
}

Object *Builtin_Boole(Object *call) {
    Object *x = Expression_At(call, 1);
    if (IsTrue(x)) return Object_ReleaseReturn(call, Integer_FromSmall(1));
    if (IsFalse(x)) return Object_ReleaseReturn(call, Integer_FromSmall(0));
    return call;
}

// ---- If, Compound ------------------------------------------------------------------

// If(c, t), If(c, t, f), If(c, t, f, u): only c arrives evaluated; the
// branch taken is evaluated here. Consumes call.
Object *Builtin_If(Object *call) {
    int64_t n = Expression_Length(call);
    if (n < 2 || n > 4) return call;
    Object *c = Expression_At(call, 1);
    int64_t branch = 0;
    if (IsTrue(c)) branch = 2;
    else if (IsFalse(c)) branch = n == 2 ? 0 : 3;
    else if (n == 4) branch = 4;
    else return call;
    if (!branch) return Object_ReleaseReturn(call, Builtin(SYM_Null));
    return Object_Evaluate(Native_TakeArgument(call, branch));
}

// The evaluator has already evaluated every part, left to right. Consumes
// call.
Object *Builtin_Compound(Object *call) {
    return Object_ReleaseReturn(call, Object_AddRef(Expression_At(call, Expression_Length(call))));
}

// ---- Scope ---------------------------------------------------------------------

// The local symbols of one Scope call, bound to the variables they stand
// for. Whatever way the call ends, even by an exception unwinding through
// it, the destructor strips the local symbols of everything given to them
// and lets them go: one that nothing else refers to leaves the symbol
// table, one that escaped in the result stays as a bare name.
struct ScopeLocals {
    BindingList list;

    ScopeLocals() = default;
    ScopeLocals(const ScopeLocals &) = delete;
    ScopeLocals &operator=(const ScopeLocals &) = delete;
    ~ScopeLocals() {
        for (Binding &b : list.items) Symbol_DeleteRecord(b.value);
        Bindings_Free(&list);
    }
};

// Scope_LocalSymbol: binds a fresh Temporary symbol to the variable
// (borrowed) unless it is bound already. Its name is the variable's, "$" and
// the temporary-symbol counter, which moves on past names already taken.
void Scope_LocalSymbol(ScopeLocals &locals, Object *variable) {
    for (const Binding &b : locals.list.items)
        if (b.name == variable) return;
    std::u16string prefix(Symbol_Name(AsSymbol(variable)));
    prefix += u'$';
    std::u16string name;
    for (;;) {
        name = prefix + Message_IntegerText(kernel.temporaryCounter);
        if (!Symbol_Find(name)) break;
        ++kernel.temporaryCounter;
    }
    Object *local = Symbol_Intern(name);
    locals.list.items.push_back({Object_AddRef(variable), local, nullptr, nullptr, nullptr});
    Symbol_Define(Object_AddRef(local), ATTR_TEMPORARY, nullptr, nullptr);
}

// The variable a Scope local names: a symbol, or the root symbol of
// the left side of an assignment; null for anything else. Borrows spec.
Object *ScopeVariable(Object *spec) {
    if (Object_IsSymbol(spec)) return spec;
    static constexpr BuiltinSymbol kAssignments[] = {SYM_Define, SYM_DefineDelayed, SYM_SubDefine,
                                                      SYM_SubDefineDelayed};
    for (BuiltinSymbol head : kAssignments) {
        if (!Native_IsCall(spec, head) || Expression_Length(spec) != 2) continue;
        Object *root = Expression_At(spec, 1);
        while (Object_IsExpression(root)) root = Expression_At(root, 0);
        return Object_IsSymbol(root) ? root : nullptr;
    }
    return nullptr;
}

// A copy of e (borrowed) with the bound names replaced, evaluated. Returns
// a new reference.
Object *SubstituteEvaluate(Object *e, BindingList *bindings) {
    uint64_t flags = SUBST_COPY;
    return Object_Evaluate(Pattern_Substitute(Object_AddRef(e), bindings, &flags));
}

// Scope(vars, body): the variables become fresh local symbols in both
// parts; the initial assignments in vars run on the locals, then the body.
// Consumes call.
Object *Builtin_Scope(Object *call) {
    Ref held(call);
    Object *vars = Expression_At(call, 1);
    ++kernel.temporaryCounter;
    ScopeLocals locals;
    if (Native_IsList(vars)) {
        for (int64_t i = 1; i <= Expression_Length(vars); ++i)
            if (Object *v = ScopeVariable(Expression_At(vars, i))) Scope_LocalSymbol(locals, v);
    } else if (Object *v = ScopeVariable(vars)) {
        Scope_LocalSymbol(locals, v);
    }
    Ref initialised(SubstituteEvaluate(vars, &locals.list));
    return SubstituteEvaluate(Expression_At(call, 2), &locals.list);
}

// ---- Function ------------------------------------------------------------------

// Function_FillSlots: body (borrowed) with every Slot(k) that belongs to
// this function replaced by element k of call (borrowed; element 0 is the
// function itself, for recursion). A slot out of range is reported and
// stays. Nested functions keep their slots. Copies only what changes;
// returns a new reference.
Object *Function_FillSlots(Object *body, Object *call) {
    if (Object_IsAtom(body)) return Object_AddRef(body);
    if (Native_IsCall(body, SYM_Function) && Expression_Length(body) == 1) return Object_AddRef(body);
    if (Native_IsCall(body, SYM_Slot) && Expression_Length(body) == 1 && Object_IsInteger(Expression_At(body, 1))) {
        Object *k = Expression_At(body, 1);
        int64_t index;
        if (Native_SmallInteger(k, 0, Expression_Length(call), &index)) return Object_AddRef(Expression_At(call, index));
        Message_Emit(u"Function", u"Slot", Message_ShortText(k));
        return Object_AddRef(body);
    }
    Object *copy = nullptr;
    for (int64_t i = 0; i <= Expression_Length(body); ++i) {
        Object *element = Expression_At(body, i);
        Object *filled = Function_FillSlots(element, call);
        if (filled == element && !copy) {
            Object_Release(filled);
            continue;
        }
        if (!copy) copy = Object_Clone(body);
        Object **slot = &AsExpression(copy)->elements[i];
        Object_Release(*slot);
        *slot = filled;
    }
    return copy ? copy : Object_AddRef(body);
}

// Function(body)(a1, ..., an). Consumes call.
Object *Builtin_Function(Object *call) {
    Object *body = Expression_At(Expression_At(call, 0), 1);
    Object *filled = Function_FillSlots(body, call);
    Object_Release(call);
    return Object_Evaluate(filled);
}

// ---- Map, Apply, Nest ------------------------------------------------------------

// Map of a pure function over a list: each f(a) is handed straight to the
// definition that its evaluation would find, when nothing could make that
// evaluation go another way. Function holds its arguments and is locked and
// protected, so its head f stays as it is and no user rule or attribute
// intervenes; an argument may still splice (a Sequence) or carry a
// sub-definition, and then that element is evaluated in full. The elements
// are applied in order, as the list's evaluation would. Borrows f and e;
// returns the evaluated list, or null when e is not a list or f not a
// one-argument Function.
Object *MapFunction(Object *f, Object *e) {
    if (!Native_IsCall(f, SYM_Function) || Expression_Length(f) != 1 || !Native_IsList(e)) return nullptr;
    SymbolRecord *r = Symbol_Record(f, false);
    if (!r || Definitions_HaveUserRules(r)) return nullptr;
    int64_t n = Expression_Length(e);
    Ref mapped(Expression_NewSized(Builtin(SYM_List), n));
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(e, i);
        SymbolRecord *ra = Symbol_Record(a, false);
        Object *applied = Expression_New(Object_AddRef(f), Object_AddRef(a));
        DefinitionEntry *entry = nullptr;
        if (!Native_IsCall(a, SYM_Sequence) && !(ra && Definitions_HaveSubRules(ra)))
            entry = Definition_Find(r, applied, 0, nullptr);
        AsExpression(mapped.get())->elements[i] = entry ? Definition_Apply(entry, applied) : Object_Evaluate(applied);
    }
    return Object_Evaluate(mapped.release());
}

// Map(f, e): every argument a of e becomes f(a). Consumes call.
Object *Builtin_Map(Object *call) {
    Object *f = Expression_At(call, 1), *e = Expression_At(call, 2);
    if (Object_IsAtom(e)) return Object_ReleaseReturn(call, Object_AddRef(e));
    if (Object *mapped = MapFunction(f, e)) return Object_ReleaseReturn(call, mapped);
    int64_t n = Expression_Length(e);
    Object *mapped = Expression_NewSized(Object_AddRef(Expression_At(e, 0)), n);
    for (int64_t i = 1; i <= n; ++i)
        AsExpression(mapped)->elements[i] = Expression_New(Object_AddRef(f), Object_AddRef(Expression_At(e, i)));
    Object_Release(call);
    return Object_Evaluate(mapped);
}

// Apply(f, e): e with f as its head. Consumes call.
Object *Builtin_Apply(Object *call) {
    Object *f = Expression_At(call, 1), *e = Expression_At(call, 2);
    if (Object_IsAtom(e)) return Object_ReleaseReturn(call, Object_AddRef(e));
    Object *applied = Object_Clone(e);
    Object **head = &AsExpression(applied)->elements[0];
    Object_Release(*head);
    *head = Object_AddRef(f);
    Object_Release(call);
    return Object_Evaluate(applied);
}

// Nest(f, x, n): f applied n times, each result evaluated before the next.
// A count beyond a machine word cannot finish anyway; it runs until memory
// gives out like any other unbounded request. Consumes call.
Object *Builtin_Nest(Object *call) {
    Object *f = Expression_At(call, 1), *n = Expression_At(call, 3);
    Ref result(Object_AddRef(Expression_At(call, 2)));
    int64_t count = 0;
    if (Object_Subtype(n) == SUB_SMALL) count = AsInteger(n)->small;
    else if (Object_Sign(n) > 0) count = INT64_MAX;
    for (int64_t i = 0; i < count; ++i)
        result = Ref(Object_Evaluate(Expression_New(Object_AddRef(f), result.release())));
    Object_Release(call);
    return result.release();
}

// ---- Iterate ---------------------------------------------------------------------

// Iterate(body, spec), marked evaluated so that it is not retried. Consumes
// both.
Object *UnevaluatedIterate(Object *body, Object *spec) {
    return Expression_NewEvaluated(Builtin(SYM_Iterate), body, spec);
}

// The refusal of a list longer than the limit: the message, and
// Hold(Iterate(body, spec)). Consumes both.
Object *LengthLimitExceeded(Object *body, Object *spec) {
    Message_Emit(u"Kernel", u"ExpressionLengthLimit", Message_IntegerText(kernel.settings.expressionLengthLimit));
    return Expression_NewEvaluated(Builtin(SYM_Hold), Expression_New(Builtin(SYM_Iterate), body, spec));
}

// The refusal of an iterator that says no number of elements: the
// message, and Iterate(body, spec). Consumes both.
Object *InvalidIterator(Object *body, Object *spec) {
    Message_Emit(u"Iterate", u"Iteration", Message_ShortText(spec));
    return UnevaluatedIterate(body, spec);
}

// A list of n elements, element k (1-based) made by make(k), which returns
// a new reference. The caller has checked n against the length limit.
template <typename Make>
Object *BuildList(int64_t n, Make make) {
    if (n <= 0) return Object_AddRef(kernel.constants.emptyList);
    Ref list(Expression_NewSized(Builtin(SYM_List), n));
    // Unfilled slots are null; the release of a half-built list on an
    // unwinding exception skips them.
    for (int64_t k = 1; k <= n; ++k) AsExpression(list.get())->elements[k] = make(k);
    return list.release();
}

// The variable of one iteration, bound to the value of the element being
// made; the binding is released however the iteration ends.
class LoopVariable {
public:
    explicit LoopVariable(Object *variable) {
        bindings_.items.push_back({Object_AddRef(variable), nullptr, nullptr, nullptr, nullptr});
    }
    LoopVariable(const LoopVariable &) = delete;
    LoopVariable &operator=(const LoopVariable &) = delete;
    ~LoopVariable() { Bindings_Free(&bindings_); }

    // The body (borrowed) with the variable replaced by value (consumed),
    // evaluated. Returns a new reference.
    Object *Evaluate(Object *body, Object *value) {
        Object_Release(std::exchange(bindings_.items[0].value, value));
        return SubstituteEvaluate(body, &bindings_);
    }

private:
    BindingList bindings_;
};

// Iterate_List: one element per element v of values (borrowed), the body
// (borrowed) with the variable replaced by v, evaluated.
Object *Iterate_List(Object *body, Object *variable, Object *values) {
    LoopVariable loop(variable);
    return BuildList(Expression_Length(values), [&](int64_t k) {
        return loop.Evaluate(body, Object_AddRef(Expression_At(values, k)));
    });
}

// The number of steps of a range from its count (max - min) / step
// (borrowed): the count itself when it is an Integer, rounded down when it
// is a Real or a Rational. False when it is no such number; otherwise
// *steps is the count saturated to [-1, limit], which is all that decides
// the list's length.
bool RangeSteps(Object *count, int64_t limit, int64_t *steps) {
    if (Object_IsInteger(count)) {
        if (!Native_SmallInteger(count, -1, limit, steps)) *steps = Object_Sign(count) < 0 ? -1 : limit;
        return true;
    }
    if (!Object_IsReal(count) && !Object_IsRational(count)) return false;
    double d = std::floor(Number_ToDouble(count));
    if (std::isnan(d)) return false;
    *steps = d < -1 ? -1 : d > double(limit) ? limit : int64_t(d);
    return true;
}

// Iterate_Range: element k is the body (borrowed) with the variable
// replaced by min + step*(k-1). min and step are null when the
// iterator left them out (both then count as 1); all three bounds are
// consumed.
Object *Iterate_Range(Object *body, Object *variable, Object *minimum, Object *maximum, Object *step) {
    Ref given[] = {Ref(minimum), Ref(maximum), Ref(step)};
    // The iterator as its bounds evaluated to, for the refusals.
    auto spec = [&]() {
        Object *s = Expression_NewSized(Builtin(SYM_List), minimum ? (step ? 4 : 3) : 2);
        Object **e = AsExpression(s)->elements;
        e[1] = Object_AddRef(variable);
        if (minimum) e[2] = Object_AddRef(minimum);
        e[minimum ? 3 : 2] = Object_AddRef(maximum);
        if (step) e[4] = Object_AddRef(step);
        return s;
    };
    Ref lo(minimum ? Object_AddRef(minimum) : Integer_FromSmall(1));
    Ref by(step ? Object_AddRef(step) : Integer_FromSmall(1));
    Ref count(Arith_Times(Arith_Plus(Object_AddRef(maximum), Arith_Times(Integer_FromSmall(-1), Object_AddRef(lo.get()))),
                          Arith_Power(Object_AddRef(by.get()), Integer_FromSmall(-1))));
    // A range of s steps has s + 1 elements.
    int64_t limit = kernel.settings.expressionLengthLimit;
    int64_t steps;
    if (!RangeSteps(count.get(), limit, &steps)) return InvalidIterator(Object_AddRef(body), spec());
    if (steps >= limit) return LengthLimitExceeded(Object_AddRef(body), spec());
    bool inexactStep = Number_Is(by.get()) && Number_IsInexact(by.get());
    if (inexactStep && !(Number_Is(lo.get()) && Number_IsInexact(lo.get()))) {
        int64_t machine = 0;
        double digits = Object_Precision(by.get(), &machine);
        lo = Ref(machine ? Numeric_Evaluate(lo.release(), NUMERIC_MACHINE, 0)
                         : Numeric_Evaluate(lo.release(), NUMERIC_PRECISION, digits));
    }
    // Exact numbers step by adding; anything else is computed from min at
    // every element, so that rounding errors do not accumulate.
    bool exact = Number_Is(lo.get()) && !Number_IsInexact(lo.get()) && Number_Is(by.get()) && !inexactStep;
    LoopVariable loop(variable);
    Ref value;
    return BuildList(steps + 1, [&](int64_t k) {
        if (!exact) {
            value = Ref(Arith_Plus(Object_AddRef(lo.get()), Arith_Times(Object_AddRef(by.get()), Integer_FromSmall(k - 1))));
        } else if (k == 1) {
            value = Ref(Object_AddRef(lo.get()));
        } else {
            value = Ref(Number_Add(value.release(), Object_AddRef(by.get())));
        }
        return loop.Evaluate(body, Object_AddRef(value.get()));
    });
}

// One iterator (consumed) over body (consumed).
Object *IterateOne(Object *body, Object *spec) {
    Ref b(body);
    Ref s(Native_IsList(spec) ? spec : Object_Evaluate(spec));
    Object *sp = s.get();
    if (Object_IsInteger(sp)) {
        int64_t limit = kernel.settings.expressionLengthLimit;
        int64_t n;
        if (!Native_SmallInteger(sp, INT64_MIN, limit, &n)) {
            if (Object_Sign(sp) < 0) return Object_AddRef(kernel.constants.emptyList);
            return LengthLimitExceeded(b.release(), s.release());
        }
        return BuildList(n, [&](int64_t) { return EvaluateCopy(body); });
    }
    if (!Native_IsList(sp) || Expression_Length(sp) < 1 || !Object_IsSymbol(Expression_At(sp, 1)))
        return InvalidIterator(b.release(), s.release());
    Object *variable = Expression_At(sp, 1);
    switch (Expression_Length(sp)) {
    case 2: {
        Ref r(EvaluateCopy(Expression_At(sp, 2)));
        if (Native_IsList(r.get())) return Iterate_List(body, variable, r.get());
        return Iterate_Range(body, variable, nullptr, r.release(), nullptr);
    }
    case 3:
        return Iterate_Range(body, variable, EvaluateCopy(Expression_At(sp, 2)), EvaluateCopy(Expression_At(sp, 3)),
                             nullptr);
    case 4:
        return Iterate_Range(body, variable, EvaluateCopy(Expression_At(sp, 2)), EvaluateCopy(Expression_At(sp, 3)),
                             EvaluateCopy(Expression_At(sp, 4)));
    default:
        return Expression_New(Builtin(SYM_Iterate), b.release(), s.release());
    }
}

// Iterate(body, s1, ..., sk): the last iterator is the outermost; the
// body it iterates is Iterate(body, s1, ..., s(k-1)). Consumes call.
Object *Builtin_Iterate(Object *call) {
    Ref held(call);
    int64_t n = Expression_Length(call);
    Object *body;
    if (n == 2) {
        body = Object_AddRef(Expression_At(call, 1));
    } else {
        body = Expression_NewSized(Builtin(SYM_Iterate), n - 1);
        for (int64_t i = 1; i < n; ++i) AsExpression(body)->elements[i] = Object_AddRef(Expression_At(call, i));
    }
    return IterateOne(body, Object_AddRef(Expression_At(call, n)));
}

const NativeRow kNatives[] = {
    {SYM_And, {u"And(\?\?\?)"}, Builtin_And},
    {SYM_Apply, {u"Apply(\?, \?)"}, Builtin_Apply},
    {SYM_Boole, {u"Boole(\?)"}, Builtin_Boole},
    {SYM_Compound, {u"Compound(\?\?)"}, Builtin_Compound},
    {SYM_Function, {u"Function(\?)(\?\?\?)"}, Builtin_Function},
    {SYM_If, {u"If(\?\?)"}, Builtin_If},
    {SYM_Iterate, {u"Iterate(\?, \?\?)"}, Builtin_Iterate},
    {SYM_Map, {u"Map(\?, \?)"}, Builtin_Map},
    {SYM_Nest, {u"Nest(\?, \?, \?Integer)"}, Builtin_Nest},
    {SYM_Not, {u"Not(\?)"}, Builtin_Not},
    {SYM_Or, {u"Or(\?\?\?)"}, Builtin_Or},
    {SYM_Scope, {u"Scope(\?, \?)"}, Builtin_Scope},
    {SYM_Xor, {u"Xor(\?\?\?)"}, Builtin_Xor},
};

}  // namespace

Object *Logic_Negate(Object *x, bool wrap) {
    if (Native_IsCall(x, SYM_Not) && Expression_Length(x) == 1) return Object_AddRef(Expression_At(x, 1));
    if (Object_IsExpression(x) && Expression_Length(x) == 2) {
        if (Object *opposite = OppositeRelation(Expression_At(x, 0)))
            return Expression_New(Object_AddRef(opposite), Object_AddRef(Expression_At(x, 1)),
                                  Object_AddRef(Expression_At(x, 2)));
    }
    if (IsTrue(x)) return Builtin(SYM_False);
    if (IsFalse(x)) return Builtin(SYM_True);
    if (Object_IsInteger(x)) return Integer_Add(Integer_Negate(Object_AddRef(x)), Integer_FromSmall(-1));
    if (Object_IsString(x)) {
        String *s = AsString(x);
        Object *result = String_New(nullptr, s->bytes, SUB_BYTES);
        if (s->bytes > 0) Bytes_Not(AsString(result)->buffer, s->buffer, s->bytes);
        return result;
    }
    if (!wrap) return nullptr;
    Object *negated = Expression_New(Builtin(SYM_Not), Object_AddRef(x));
    Definition_ApplyUser(&negated, nullptr, nullptr, nullptr);
    return negated;
}

extern const NativeTable ControlNatives = Table_Of(kNatives);
