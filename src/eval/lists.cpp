// The list and structure built-ins. Every walk over the levels of an
// expression keeps its own stack instead of recursing, so that a deeply
// nested argument costs heap, not C++ stack; Part recurses only where an
// index branches (All, lists and spans before the last one), which
// is bounded by the number of indices in the call.
#include "eval/lists.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "eval/native_args.h"
#include "eval/pattern.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "number/integer.h"
#include "object/expression.h"
#include "object/small_stack.h"
#include "object/string.h"
#include "object/utf8.h"
#include "syntax/formatter.h"

namespace {

constexpr int64_t kUnlimited = std::numeric_limits<int64_t>::max();
constexpr size_t kNone = std::string_view::npos;

// What the visitor of a walk asks for after seeing an argument.
enum class Step {
    Stop,   // end the walk
    Next,   // go on with the next argument, leaving this one closed
    Enter,  // go on with this argument's own arguments first, if it has any
};

// Calls visit(a, level) for the arguments a of x, in pre-order, never for a
// head or for x itself; level is 1 for the arguments of x, 2 for theirs,
// and so on. Returns false when visit stopped the walk. Borrows x.
template <typename Visit>
bool WalkArguments(Object *x, Visit visit) {
    if (!Object_IsExpression(x)) return true;
    struct Frame {
        Expression *e;
        int64_t next;
    };
    SmallStack<Frame, 32> stack;
    stack.push({AsExpression(x), 1});
    while (!stack.empty()) {
        Frame &f = stack.top();
        if (f.next > f.e->length) {
            stack.pop();
            continue;
        }
        Object *a = f.e->elements[f.next++];
        Step step = visit(a, int64_t(stack.size()));
        if (step == Step::Stop) return false;
        if (step == Step::Enter && Object_IsExpression(a)) stack.push({AsExpression(a), 1});
    }
    return true;
}

// Whether o is a number of any class. Borrows o.
bool IsNumber(Object *o) {
    uint64_t t = Object_Type(o);
    return t == TYPE_INTEGER || t == TYPE_REAL || t == TYPE_RATIONAL || t == TYPE_COMPLEX;
}

// Whether o is an integer greater than every machine word (as a count, it
// means "more than anything can hold"). Borrows o.
bool IsHugePositive(Object *o) {
    return Object_IsInteger(o) && Object_Subtype(o) == SUB_BIG && Object_Sign(o) > 0;
}

// The bytes of a string, borrowed from it.
std::string_view Bytes(Object *s) {
    String *x = AsString(s);
    return x->buffer ? std::string_view(reinterpret_cast<const char *>(x->buffer), size_t(x->bytes)) : std::string_view("");
}

// Element p (0 the head) of a piece of Part: an argument of an expression,
// or the head symbol of an atom, whose only position is 0. Borrowed.
Object *Element(Object *piece, int64_t p) {
    return Object_IsExpression(piece) ? Expression_At(piece, p) : Object_Head(piece);
}

// Resolves the position o against a piece of n elements: valid from -n to n,
// negative positions counting from the end; 0 (the head) only when
// zeroAllowed. Borrows o.
bool ResolvePosition(Object *o, int64_t n, bool zeroAllowed, int64_t *position) {
    int64_t v;
    if (!Native_SmallInteger(o, -n, n, &v) || (v == 0 && !zeroAllowed)) return false;
    *position = v < 0 ? n + v + 1 : v;
    return true;
}

// How a List or Span index fared: positions picked, an element that
// is not an integer, a position the piece lacks, or a shape Part ignores.
enum class Picked { Ok, Invalid, Position, Silent };

// The positions that a List or Span index picks from a piece of n
// elements, in order. Borrows spec.
Picked PickPositions(Object *spec, int64_t n, bool zeroAllowed, std::vector<int64_t> &positions) {
    if (Native_IsList(spec)) {
        int64_t length = Expression_Length(spec);
        positions.reserve(size_t(length));
        for (int64_t i = 1; i <= length; ++i) {
            Object *o = Expression_At(spec, i);
            int64_t p;
            if (!Object_IsInteger(o)) return Picked::Invalid;
            if (!ResolvePosition(o, n, zeroAllowed, &p)) return Picked::Position;
            positions.push_back(p);
        }
        return Picked::Ok;
    }
    int64_t arguments = Expression_Length(spec);
    if (arguments != 2 && arguments != 3) return Picked::Silent;
    for (int64_t i = 1; i <= arguments; ++i)
        if (!Object_IsInteger(Expression_At(spec, i))) return Picked::Invalid;
    int64_t a, b, step = 1;
    if (!ResolvePosition(Expression_At(spec, 1), n, zeroAllowed, &a) ||
        !ResolvePosition(Expression_At(spec, 2), n, zeroAllowed, &b))
        return Picked::Position;
    if (arguments == 3) {
        Object *c = Expression_At(spec, 3);
        // A step beyond the machine words picks the first position only,
        // exactly as the largest word would.
        if (!Native_SmallInteger(c, -kUnlimited, kUnlimited, &step))
            step = Object_Sign(c) > 0 ? kUnlimited : -kUnlimited;
        if (step == 0) return Picked::Position;
    }
    if ((step > 0 && b >= a) || (step < 0 && a >= b)) {
        int64_t count = (b - a) / step + 1;
        positions.reserve(size_t(count));
        for (int64_t k = 0; k < count; ++k) positions.push_back(a + k * step);
    }
    return Picked::Ok;
}

// The message for a List or Span index that picked nothing; an
// atom other than a string has no parts below its head, so a position
// beyond it is a matter of depth. Borrows spec and piece.
void ReportUnpicked(Picked picked, Object *spec, Object *piece) {
    if (picked == Picked::Invalid) {
        Message_Emit(u"Part", u"Invalid", Message_ShortText(spec));
    } else if (picked == Picked::Position) {
        if (Object_IsExpression(piece) || Object_IsString(piece))
            Message_Emit(u"Part", u"Position", Message_ShortText(spec), Message_ShortText(piece));
        else
            Message_Emit(u"Part", u"Depth", Message_ShortText(spec));
    }
}

// The message for an index of no known kind: numbers other than
// integers and strings are invalid, anything else fails quietly. Borrows spec.
void ReportOther(Object *spec) {
    if (IsNumber(spec) || Object_IsString(spec)) Message_Emit(u"Part", u"Invalid", Message_ShortText(spec));
}

// What applying indices gave: the value, or, when a step failed,
// the unevaluated remainder.
struct PartOutcome {
    Ref value;
    bool failed;
};

// Applies the indices of one Part call (arguments 2 on) level by level.
class PartWalk {
public:
    explicit PartWalk(Object *call) : call_(call), last_(Expression_Length(call)) {}

    // Applies indices k to the last to piece. Borrows piece, which
    // lives in the call.
    PartOutcome From(Object *piece, int64_t k) {
        for (;; ++k) {
            if (k > last_) return {Ref(Object_AddRef(piece)), false};
            if (Object_IsString(piece)) return StringStep(piece, k);
            Object *spec = Expression_At(call_, k);
            bool atom = !Object_IsExpression(piece);
            int64_t n = atom ? 0 : Expression_Length(piece);
            if (Object_IsInteger(spec)) {
                int64_t p;
                if (ResolvePosition(spec, n, true, &p)) {
                    piece = Element(piece, p);
                    continue;
                }
                if (atom) Message_Emit(u"Part", u"Depth", Format_Standard(call_));
                else Message_Emit(u"Part", u"Position", Message_ShortText(spec), Message_ShortText(piece));
                return Fail(piece, k);
            }
            if (spec == BuiltinBorrowed(SYM_All)) {
                if (atom) return {Ref(Expression_New(Object_AddRef(Object_Head(piece)))), false};
                if (k == last_) return {Ref(Object_AddRef(piece)), false};
                std::vector<int64_t> every(static_cast<size_t>(n));
                for (int64_t i = 0; i < n; ++i) every[size_t(i)] = i + 1;
                return Pick(piece, k, every);
            }
            if (Native_IsList(spec) || Native_IsCall(spec, SYM_Span)) {
                std::vector<int64_t> positions;
                Picked picked = PickPositions(spec, n, true, positions);
                if (picked == Picked::Ok) return Pick(piece, k, positions);
                ReportUnpicked(picked, spec, piece);
                return Fail(piece, k);
            }
            ReportOther(spec);
            return Fail(piece, k);
        }
    }

private:
    // The remainder Part[piece, s_k, ..., s_last]. Borrows piece.
    PartOutcome Fail(Object *piece, int64_t k) {
        Object *rest = Expression_NewSized(Builtin(SYM_Part), last_ - k + 2);
        Object **slots = AsExpression(rest)->elements;
        slots[1] = Object_AddRef(piece);
        for (int64_t i = k; i <= last_; ++i) slots[i - k + 2] = Object_AddRef(Expression_At(call_, i));
        return {Ref(rest), true};
    }

    // The piece's head applied to the elements at positions, each with the
    // indices after k applied. Borrows piece.
    PartOutcome Pick(Object *piece, int64_t k, const std::vector<int64_t> &positions) {
        Ref result(Expression_NewSized(Object_AddRef(Object_Head(piece)), int64_t(positions.size())));
        Object **slots = AsExpression(result.get())->elements;
        for (size_t i = 0; i < positions.size(); ++i) {
            Object *element = Element(piece, positions[i]);
            if (k == last_) {
                slots[i + 1] = Object_AddRef(element);
                continue;
            }
            PartOutcome inner = From(element, k + 1);
            if (inner.failed) return inner;
            slots[i + 1] = inner.value.release();
        }
        return {std::move(result), false};
    }

    // Index k applied to a string: characters by position; nothing
    // can follow it. Borrows s.
    PartOutcome StringStep(Object *s, int64_t k) {
        if (k < last_) {
            PartOutcome rest = Fail(s, k);
            Message_Emit(u"Part", u"Depth", Message_ShortText(rest.value.get()));
            return rest;
        }
        Object *spec = Expression_At(call_, k);
        int64_t n = AsString(s)->count;
        if (Object_IsInteger(spec)) {
            int64_t p;
            if (ResolvePosition(spec, n, true, &p))
                return {Ref(p == 0 ? Builtin(SYM_String) : Characters(s, {p})), false};
            Message_Emit(u"Part", u"Position", Message_ShortText(spec), Message_ShortText(s));
            return Fail(s, k);
        }
        if (spec == BuiltinBorrowed(SYM_All)) return {Ref(Object_AddRef(s)), false};
        if (Native_IsList(spec) || Native_IsCall(spec, SYM_Span)) {
            std::vector<int64_t> positions;
            Picked picked = PickPositions(spec, n, false, positions);
            if (picked == Picked::Ok) return {Ref(Characters(s, positions)), false};
            ReportUnpicked(picked, spec, s);
            return Fail(s, k);
        }
        ReportOther(spec);
        return Fail(s, k);
    }

    // The string of the characters of s at the given positions (1 to its
    // count), of the subtype of s. Borrows s; returns a new string.
    static Object *Characters(Object *s, const std::vector<int64_t> &positions) {
        std::string bytes;
        for (int64_t p : positions) {
            const unsigned char *first = String_CharAddress(s, p);
            const unsigned char *end = String_CharAddress(s, p + 1);
            bytes.append(reinterpret_cast<const char *>(first), size_t(end - first));
        }
        return String_New(bytes.data(), int64_t(bytes.size()), Object_Subtype(s));
    }

    Object *call_;  // borrowed
    int64_t last_;
};

// Finds a pattern's bytes in a string's bytes, at character starts only when
// the search is by characters. Borrows both views.
class Occurrences {
public:
    Occurrences(std::string_view text, std::string_view pattern, bool byBytes)
        : text_(text), pattern_(pattern), byBytes_(byBytes) {}

    // The byte offset of the first occurrence at or after from, or kNone.
    size_t Next(size_t from) const {
        for (size_t pos = from;;) {
            size_t candidate = text_.find(pattern_, pos);
            if (candidate == kNone || byBytes_) return candidate;
            // A match inside a character does not count; walk forward to
            // the character starts around it.
            while (pos < candidate) pos = After(pos);
            if (pos == candidate) return candidate;
        }
    }

    // The offset of the character after the one at offset at.
    size_t After(size_t at) const {
        if (byBytes_) return at + 1;
        auto *begin = reinterpret_cast<const unsigned char *>(text_.data());
        char32_t cp;
        return size_t(Utf8_Next(begin + at, begin + text_.size(), &cp) - begin);
    }

private:
    std::string_view text_, pattern_;
    bool byBytes_;
};

// List[...] of the strings of the given byte ranges of text, of subtype.
// Returns a new list.
Object *StringList(std::string_view text, const std::vector<std::pair<size_t, size_t>> &ranges, uint64_t subtype) {
    Object *list = Expression_NewSized(Builtin(SYM_List), int64_t(ranges.size()));
    for (size_t i = 0; i < ranges.size(); ++i)
        AsExpression(list)->elements[i + 1] =
            String_New(text.data() + ranges[i].first, int64_t(ranges[i].second - ranges[i].first), subtype);
    return list;
}

// Split of two strings. Borrows both; returns a new list.
Object *SplitString(Object *x, Object *s) {
    bool byBytes = Object_Subtype(x) == SUB_BYTES || Object_Subtype(s) == SUB_BYTES;
    uint64_t subtype = byBytes ? SUB_BYTES : SUB_UTF8;
    std::string_view text = Bytes(x), separator = Bytes(s);
    Occurrences find(text, separator, byBytes);
    std::vector<std::pair<size_t, size_t>> ranges;
    if (separator.empty()) {
        for (size_t at = 0; at < text.size();) {
            size_t next = find.After(at);
            ranges.emplace_back(at, next);
            at = next;
        }
        return StringList(text, ranges, subtype);
    }
    size_t start = 0;
    for (size_t at = find.Next(0); at != kNone; at = find.Next(start)) {
        ranges.emplace_back(start, at);
        start = at + separator.size();
    }
    ranges.emplace_back(start, text.size());
    return StringList(text, ranges, subtype);
}

// Split of an expression at the arguments that are the same as s. Borrows
// both; returns a new expression.
Object *SplitExpression(Object *x, Object *s) {
    int64_t n = Expression_Length(x);
    std::vector<int64_t> separators;
    for (int64_t i = 1; i <= n; ++i)
        if (Object_Same(Expression_At(x, i), s)) separators.push_back(i);
    separators.push_back(n + 1);
    Object *head = Expression_At(x, 0);
    Object *result = Expression_NewSized(Object_AddRef(head), int64_t(separators.size()));
    int64_t start = 1;
    for (size_t k = 0; k < separators.size(); ++k) {
        int64_t end = separators[k];
        Object *piece = Expression_NewSized(Object_AddRef(head), end - start);
        for (int64_t i = start; i < end; ++i) AsExpression(piece)->elements[i - start + 1] = Object_AddRef(Expression_At(x, i));
        AsExpression(result)->elements[k + 1] = piece;
        start = end + 1;
    }
    return result;
}

// The arguments that Flatten puts into its result, in order: emit(a) for
// each. An argument whose head is the same as x's is replaced by its own
// arguments while levels remain to be opened. Borrows x.
template <typename Emit>
void ForEachFlattened(Object *x, int64_t depth, Emit emit) {
    Object *head = Expression_At(x, 0);
    WalkArguments(x, [&](Object *a, int64_t level) {
        if (level <= depth && Object_IsExpression(a)) {
            Object *h = Expression_At(a, 0);
            if (h == head || Object_Same(h, head)) return Step::Enter;
        }
        emit(a);
        return Step::Next;
    });
}

// The Heads message of Join for the head h of the first argument and the
// offending argument a. Borrows both.
void HeadsMessage(Object *h, Object *a) { Message_Emit(u"Join", u"Heads", Format_Standard(h), Format_Standard(Object_Head(a))); }

// Join of the string arguments of call. Borrows call; returns the new
// string, or null after the message when an argument is not a string.
Object *JoinStrings(Object *call) {
    int64_t n = Expression_Length(call);
    bool anyBytes = false;
    std::string bytes;
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(call, i);
        if (!Object_IsString(a)) {
            HeadsMessage(BuiltinBorrowed(SYM_String), a);
            return nullptr;
        }
        anyBytes = anyBytes || Object_Subtype(a) == SUB_BYTES;
        bytes.append(Bytes(a));
    }
    return String_New(bytes.data(), int64_t(bytes.size()), anyBytes ? SUB_BYTES : SUB_UTF8);
}

}  // namespace

Object *Builtin_Length(Object *call) {
    int64_t n = Object_Length(Expression_At(call, 1));
    return Object_ReleaseReturn(call, Integer_FromSmall(n));
}

Object *Builtin_Head(Object *call) {
    Object *head = Object_AddRef(Object_Head(Expression_At(call, 1)));
    return Object_ReleaseReturn(call, head);
}

Object *Builtin_Depth(Object *call) {
    Object *x = Expression_At(call, 1);
    int64_t depth = Object_IsExpression(x) ? 1 : 0;
    WalkArguments(x, [&](Object *a, int64_t level) {
        if (Object_IsExpression(a)) depth = std::max(depth, level + 1);
        return Step::Enter;
    });
    return Object_ReleaseReturn(call, Integer_FromSmall(depth));
}

Object *Builtin_Part(Object *call) {
    PartWalk walk(call);
    PartOutcome outcome = walk.From(Expression_At(call, 1), 2);
    Object_Release(call);
    if (outcome.failed) return outcome.value.release();
    return Object_Evaluate(outcome.value.release());
}

Object *Builtin_Flatten(Object *call) {
    Object *x = Expression_At(call, 1);
    if (!Object_IsExpression(x)) return Object_ReleaseReturn(call, Object_AddRef(x));
    int64_t depth = kUnlimited;
    if (Expression_Length(call) == 2) {
        Object *n = Expression_At(call, 2);
        if (!Native_SmallInteger(n, 0, kUnlimited, &depth) && !IsHugePositive(n) &&
            !Object_Same(n, kernel.constants.infinity)) {
            Message_Emit(u"Flatten", u"Depth", Format_Standard(n));
            return call;
        }
    }
    if (depth == 0) return Object_ReleaseReturn(call, Object_AddRef(x));
    int64_t count = 0;
    ForEachFlattened(x, depth, [&](Object *) { ++count; });
    Object *result = Expression_NewSized(Object_AddRef(Expression_At(x, 0)), count);
    Object **slots = AsExpression(result)->elements;
    int64_t filled = 0;
    ForEachFlattened(x, depth, [&](Object *a) { slots[++filled] = Object_AddRef(a); });
    return Object_ReleaseReturn(call, result);
}

Object *Builtin_Partition(Object *call) {
    Object *x = Expression_At(call, 1);
    Object *n = Expression_At(call, 2);
    bool isString = Object_IsString(x);
    if (!Object_IsExpression(x) && !isString) return call;
    int64_t size;
    if (IsHugePositive(n)) size = kUnlimited;
    else if (!Native_SmallInteger(n, 1, kUnlimited, &size)) {
        Message_Emit(u"Partition", u"Length", Message_ShortText(n));
        return call;
    }
    if (isString) {
        int64_t blocks = AsString(x)->count / size;
        std::vector<std::pair<size_t, size_t>> ranges;
        // Each block starts where the last ended, so the character cursor
        // only moves forward.
        const unsigned char *base = AsString(x)->buffer;
        size_t start = 0;
        for (int64_t i = 0; i < blocks; ++i) {
            size_t end = size_t(String_CharAddress(x, (i + 1) * size + 1) - base);
            ranges.emplace_back(start, end);
            start = end;
        }
        return Object_ReleaseReturn(call, StringList(Bytes(x), ranges, Object_Subtype(x)));
    }
    Object *head = Expression_At(x, 0);
    int64_t blocks = Expression_Length(x) / size;
    Object *result = Expression_NewSized(Object_AddRef(head), blocks);
    for (int64_t i = 0; i < blocks; ++i) {
        Object *block = Expression_NewSized(Object_AddRef(head), size);
        for (int64_t j = 1; j <= size; ++j) AsExpression(block)->elements[j] = Object_AddRef(Expression_At(x, i * size + j));
        AsExpression(result)->elements[i + 1] = block;
    }
    return Object_ReleaseReturn(call, result);
}

Object *Builtin_Join(Object *call) {
    int64_t n = Expression_Length(call);
    Object *first = Expression_At(call, 1);
    if (n == 1) return Object_ReleaseReturn(call, Object_AddRef(first));
    if (Object_IsString(first)) {
        Object *joined = JoinStrings(call);
        return joined ? Object_ReleaseReturn(call, joined) : call;
    }
    if (!Object_IsExpression(first)) return call;
    Object *head = Expression_At(first, 0);
    int64_t total = 0;
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(call, i);
        if (!Object_IsExpression(a) || !Object_Same(Expression_At(a, 0), head)) {
            HeadsMessage(head, a);
            return call;
        }
        total += Expression_Length(a);
    }
    Object *result = Expression_NewSized(Object_AddRef(head), total);
    Object **slots = AsExpression(result)->elements;
    int64_t filled = 0;
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(call, i);
        for (int64_t j = 1; j <= Expression_Length(a); ++j) slots[++filled] = Object_AddRef(Expression_At(a, j));
    }
    return Object_ReleaseReturn(call, result);
}

Object *Builtin_Split(Object *call) {
    Object *x = Expression_At(call, 1);
    Object *s = Expression_At(call, 2);
    if (Object_IsString(x) && Object_IsString(s)) return Object_ReleaseReturn(call, SplitString(x, s));
    if (Object_IsExpression(x)) return Object_ReleaseReturn(call, SplitExpression(x, s));
    if (IsNumber(x) || Object_IsString(x)) return Object_ReleaseReturn(call, Object_AddRef(x));
    return call;
}

Object *Builtin_Count(Object *call) {
    Object *x = Expression_At(call, 1);
    Object *p = Expression_At(call, 2);
    int64_t count = 0;
    if (Object_IsString(x) && Object_IsString(p)) {
        std::string_view pattern = Bytes(p);
        if (pattern.empty()) {
            count = AsString(x)->count + 1;
        } else {
            bool byBytes = Object_Subtype(x) == SUB_BYTES || Object_Subtype(p) == SUB_BYTES;
            Occurrences find(Bytes(x), pattern, byBytes);
            // Occurrences may overlap: the next search starts one character on.
            for (size_t at = find.Next(0); at != kNone; at = find.Next(find.After(at))) ++count;
        }
    } else {
        WalkArguments(x, [&](Object *a, int64_t) {
            count += Pattern_Match(a, p, nullptr, nullptr, false, nullptr);
            return Step::Enter;
        });
    }
    return Object_ReleaseReturn(call, Integer_FromSmall(count));
}

Object *Builtin_Contain(Object *call) {
    Object *p = Expression_At(call, 2);
    bool found = !WalkArguments(Expression_At(call, 1), [&](Object *a, int64_t) {
        return Pattern_Match(a, p, nullptr, nullptr, false, nullptr) ? Step::Stop : Step::Enter;
    });
    return Object_ReleaseReturn(call, Builtin(found ? SYM_True : SYM_False));
}

Object *Builtin_Select(Object *call) {
    Object *x = Expression_At(call, 1);
    if (!Object_IsExpression(x)) return call;
    Object *f = Expression_At(call, 2);
    int64_t n = Expression_Length(x);
    // Sized for every argument, then shrunk once to the ones kept.
    Ref result(Expression_NewSized(Object_AddRef(Expression_At(x, 0)), n));
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(x, i);
        Ref verdict(Object_Evaluate(Expression_New(Object_AddRef(f), Object_AddRef(a))));
        if (verdict.get() == BuiltinBorrowed(SYM_True)) AsExpression(result.get())->elements[i] = Object_AddRef(a);
    }
    Object *selected = Expression_Compact(result.release());
    Object_Release(call);
    return Object_Evaluate(selected);
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Contain, {u"Contain(\?, \?)"}, Builtin_Contain},
    {SYM_Count, {u"Count(\?, \?)"}, Builtin_Count},
    {SYM_Depth, {u"Depth(\?)"}, Builtin_Depth},
    {SYM_Flatten, {u"Flatten(\?)", u"Flatten(\?, \?)"}, Builtin_Flatten},
    {SYM_Head, {u"Head(\?)"}, Builtin_Head},
    {SYM_Join, {u"Join(\?\?)"}, Builtin_Join},
    {SYM_Length, {u"Length(\?)"}, Builtin_Length},
    {SYM_Part, {u"Part(\?, \?\?)"}, Builtin_Part},
    {SYM_Partition, {u"Partition(\?, \?Integer)"}, Builtin_Partition},
    {SYM_Select, {u"Select(\?, \?)"}, Builtin_Select},
    {SYM_Split, {u"Split(\?, \?)"}, Builtin_Split},
};

}  // namespace

extern const NativeTable ListNatives = Table_Of(kNatives);
