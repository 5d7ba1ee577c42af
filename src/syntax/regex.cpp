#include "syntax/regex.h"

#include <algorithm>

#include "kernel/state.h"

namespace {

// ---------------------------------------------------------------------------
// Character classes

bool IsDigit(int32_t c) { return c >= u'0' && c <= u'9'; }

bool IsWordUnit(int32_t c) {
    return IsDigit(c) || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}

// The sets of the escapes \d, \s and \w (by their lower-case letter). They
// hold code units below 256 only.
bool InEscapeSet(char16_t set, int32_t c) {
    switch (set) {
    case u'd': return IsDigit(c);
    case u's': return c == 9 || c == 10 || c == 13 || c == 32;
    default: return IsWordUnit(c);
    }
}

bool IsSetEscape(char16_t e) {
    return e == u'd' || e == u's' || e == u'w' || e == u'D' || e == u'S' || e == u'W';
}

// The code unit an escape other than a set stands for.
char16_t EscapedUnit(char16_t e) {
    switch (e) {
    case u'n': return 10;
    case u'r': return 13;
    case u't': return 9;
    default: return e;
    }
}

// A class keeps a bit set that is either the set itself or, once the
// complement of an escape set has been added, the set's complement (the
// complement flag tells which). Adding to the class sets bits in the first
// representation and clears them in the second, so the class is always the
// union of everything added.
void ClassAddUnit(RegexNode *cls, int32_t c) {
    size_t word = size_t(c) / 32;
    uint32_t bit = uint32_t(1) << (c % 32);
    if (cls->complement) {
        if (word < cls->bits.size()) cls->bits[word] &= ~bit;
        return;
    }
    if (word >= cls->bits.size()) cls->bits.resize(word + 1, 0);
    cls->bits[word] |= bit;
}

void ClassAddSet(RegexNode *cls, char16_t set) {
    for (int32_t c = 0; c < 256; ++c)
        if (InEscapeSet(set, c)) ClassAddUnit(cls, c);
}

// Adds every code unit outside an escape set (\D, \S, \W).
void ClassAddComplementSet(RegexNode *cls, char16_t set) {
    if (!cls->complement) {
        // class ∪ ¬set = ¬(set ∧ ¬class): switch to the complement form.
        for (int32_t c = 0; c < 256; ++c) {
            uint32_t &w = cls->bits[size_t(c) / 32];
            uint32_t bit = uint32_t(1) << (c % 32);
            w = InEscapeSet(set, c) && !(w & bit) ? (w | bit) : (w & ~bit);
        }
        cls->bits.resize(8);
        cls->complement = true;
        return;
    }
    // ¬bits ∪ ¬set = ¬(bits ∧ set); the escape sets end below 256.
    for (int32_t c = 0; c < 256; ++c)
        if (!InEscapeSet(set, c)) cls->bits[size_t(c) / 32] &= ~(uint32_t(1) << (c % 32));
    cls->bits.resize(8);
}

// Adds the escape \e; returns the code unit it stands for, or -1 for a set.
int32_t ClassAddEscape(RegexNode *cls, char16_t e) {
    if (e == u'd' || e == u's' || e == u'w') {
        ClassAddSet(cls, e);
        return -1;
    }
    if (e == u'D' || e == u'S' || e == u'W') {
        ClassAddComplementSet(cls, char16_t(e + (u'a' - u'A')));
        return -1;
    }
    char16_t c = EscapedUnit(e);
    ClassAddUnit(cls, c);
    return c;
}

bool ClassHas(const RegexNode *cls, char16_t c) {
    size_t word = c / 32;
    bool set = word < cls->bits.size() && (cls->bits[word] >> (c % 32)) & 1;
    return set != cls->complement;
}

// ---------------------------------------------------------------------------
// Compilation

// A group whose body is being read, with the branch being gathered.
struct GroupFrame {
    RegexNode *group = nullptr;
    RegexNode *alternation = nullptr;  // made at the first '|'
    RegexNode *lastBranch = nullptr;
    std::vector<RegexNode *> atoms;    // the current branch
};

class Compiler {
public:
    Compiler(RegexProgram *program, std::u16string_view pattern) : program_(program), p_(pattern) {}

    // Builds the whole tree. Nested groups are kept on an explicit stack of
    // frames, so any nesting depth compiles without recursion.
    void Run() {
        program_->root = OpenGroup(RX_GROUP_CAPTURING, {});
        while (true) {
            if (i_ >= p_.size()) {
                while (frames_.size() > 1) CloseGroup();
                FinishGroup(frames_.back());
                break;
            }
            char16_t ch = p_[i_];
            if (ch == u')') {
                ++i_;
                if (frames_.size() == 1) {
                    FinishGroup(frames_.back());
                    break;
                }
                CloseGroup();
                continue;
            }
            switch (ch) {
            case u'(': ReadGroupHeader(); break;
            case u'.': ++i_; Atom(NewNode(RxAnyChar)); break;
            case u'^': ++i_; Atom(Anchor(RX_ANCHOR_START)); break;
            case u'$': ++i_; Atom(Anchor(RX_ANCHOR_END)); break;
            case u'[': ++i_; Atom(ReadClass()); break;
            case u'\\': ReadEscape(); break;
            case u'*': case u'+': case u'?': case u'{': ReadQuantifier(); break;
            case u'|': ++i_; EndBranch(frames_.back()); break;
            case u' ': ++i_; break;
            default: ReadLiteralRun(); break;
            }
        }
        program_->groupCount = int32_t(program_->groups.size());
        ComputeLengths();
        ChooseMemoPoints();
    }

private:
    RegexNode *NewNode(RegexKind kind) {
        auto node = std::make_unique<RegexNode>();
        node->kind = kind;
        node->number = -1;
        node->fixedLength = -1;
        node->memo = -1;
        RegexNode *n = node.get();
        program_->nodes.push_back(std::move(node));
        return n;
    }

    RegexNode *Anchor(int32_t which) {
        RegexNode *n = NewNode(RxAnchor);
        n->which = which;
        return n;
    }

    RegexNode *NewClass() {
        RegexNode *n = NewNode(RxClass);
        n->bits.assign(8, 0);
        return n;
    }

    RegexNode *Literal(std::u16string text) {
        RegexNode *n = NewNode(RxLiteral);
        n->text = std::move(text);
        return n;
    }

    void Atom(RegexNode *n) { frames_.back().atoms.push_back(n); }

    bool At(std::u16string_view s) const { return p_.substr(i_).starts_with(s); }

    // Makes a group node and the frame that gathers its body. Capturing
    // groups are numbered in the order of their opening parenthesis.
    RegexNode *OpenGroup(int32_t kind, std::u16string name) {
        RegexNode *g = NewNode(RxGroup);
        g->which = kind;
        g->text = std::move(name);
        if (kind == RX_GROUP_CAPTURING) {
            g->number = int32_t(program_->groups.size());
            program_->groups.push_back(g);
        }
        frames_.emplace_back();
        frames_.back().group = g;
        return g;
    }

    // Reads "(" and the header that decides the group kind.
    void ReadGroupHeader() {
        static const std::pair<std::u16string_view, int32_t> kHeaders[] = {
            {u"?:", RX_GROUP_PLAIN},         {u"?=", RX_GROUP_LOOKAHEAD},
            {u"?!", RX_GROUP_NOT_LOOKAHEAD}, {u"?<=", RX_GROUP_LOOKBEHIND},
            {u"?<!", RX_GROUP_NOT_LOOKBEHIND},
        };
        ++i_;
        for (const auto &[header, kind] : kHeaders) {
            if (At(header)) {
                i_ += header.size();
                OpenGroup(kind, {});
                return;
            }
        }
        std::u16string name;
        if (At(u"?P<")) {
            i_ += 3;
            size_t end = std::min(p_.find(u'>', i_), p_.size());
            name = std::u16string(p_.substr(i_, end - i_));
            i_ = std::min(end + 1, p_.size());
        }
        OpenGroup(RX_GROUP_CAPTURING, std::move(name));
    }

    // Ends the innermost group and hands it to the enclosing one as an atom.
    void CloseGroup() {
        RegexNode *g = frames_.back().group;
        FinishGroup(frames_.back());
        frames_.pop_back();
        Atom(g);
    }

    static void Link(RegexNode *parent, RegexNode *child, RegexNode *previous) {
        child->parent = parent;
        (previous ? previous->next : parent->child) = child;
    }

    // The atoms of the current branch as one node (a sequence when there are
    // several), or null for an empty branch.
    RegexNode *TakeBranch(GroupFrame &f) {
        RegexNode *b = nullptr;
        if (f.atoms.size() == 1) {
            b = f.atoms[0];
        } else if (f.atoms.size() > 1) {
            b = NewNode(RxSequence);
            RegexNode *previous = nullptr;
            for (RegexNode *a : f.atoms) {
                Link(b, a, previous);
                previous = a;
            }
        }
        f.atoms.clear();
        return b;
    }

    // At '|': the branch so far becomes the next child of the alternation.
    // An empty branch adds no child.
    void EndBranch(GroupFrame &f) {
        RegexNode *b = TakeBranch(f);
        if (!f.alternation) f.alternation = NewNode(RxAlternation);
        if (b) {
            Link(f.alternation, b, f.lastBranch);
            f.lastBranch = b;
        }
    }

    void FinishGroup(GroupFrame &f) {
        RegexNode *body;
        if (f.alternation) {
            EndBranch(f);
            body = f.alternation;
        } else {
            body = TakeBranch(f);
        }
        if (body) Link(f.group, body, nullptr);
    }

    // A backslash outside a class: a back-reference, the word-boundary
    // anchor, or a one-unit class (so \. is the full stop and \d the digits).
    // A backslash that ends the pattern is dropped.
    void ReadEscape() {
        if (i_ + 1 >= p_.size()) {
            ++i_;
            return;
        }
        char16_t e = p_[i_ + 1];
        i_ += 2;
        if (IsDigit(e)) {
            RegexNode *n = NewNode(RxBackReference);
            n->number = e - u'0';
            Atom(n);
        } else if (e == u'b') {
            Atom(Anchor(RX_ANCHOR_WORD));
        } else {
            RegexNode *n = NewClass();
            ClassAddEscape(n, e);
            Atom(n);
        }
    }

    // A run of ordinary characters. It stops before the characters the body
    // loop handles and before escapes that are classes or anchors; when it
    // stops at a quantifier, its last character becomes a run of its own so
    // that the quantifier applies to that character only.
    void ReadLiteralRun() {
        std::u16string run;
        bool quantified = false;
        while (i_ < p_.size()) {
            char16_t ch = p_[i_];
            if (ch == u'$' || ch == u'(' || ch == u')' || ch == u'.' || ch == u'[' || ch == u'^' || ch == u'|')
                break;
            if (ch == u'*' || ch == u'+' || ch == u'?' || ch == u'{') {
                quantified = true;
                break;
            }
            if (ch == u'\\') {
                if (i_ + 1 >= p_.size()) break;
                char16_t e = p_[i_ + 1];
                if (IsDigit(e) || std::u16string_view(u"DSWbdswnrt").find(e) != std::u16string_view::npos) break;
                run += e;
                i_ += 2;
                continue;
            }
            run += ch;
            ++i_;
        }
        if (quantified && run.size() > 1) {
            char16_t last = run.back();
            run.pop_back();
            Atom(Literal(std::move(run)));
            Atom(Literal(std::u16string(1, last)));
        } else if (!run.empty()) {
            Atom(Literal(std::move(run)));
        }
    }

    // After "[": the class up to the next unescaped "]" or the pattern end.
    RegexNode *ReadClass() {
        RegexNode *cls = NewClass();
        bool negated = i_ < p_.size() && p_[i_] == u'^';
        if (negated) ++i_;
        int32_t previous = -1;  // the last single code unit added
        while (i_ < p_.size() && p_[i_] != u']') {
            char16_t ch = p_[i_];
            if (ch == u'\\') {
                if (i_ + 1 >= p_.size()) {
                    ++i_;
                    break;
                }
                previous = ClassAddEscape(cls, p_[i_ + 1]);
                i_ += 2;
                continue;
            }
            if (ch == u'-' && previous >= 0 && i_ + 1 < p_.size() && p_[i_ + 1] != u']') {
                size_t j = i_ + 1;
                int32_t last;
                if (p_[j] == u'\\') {
                    if (j + 1 >= p_.size() || IsSetEscape(p_[j + 1])) {
                        // "a-\d": the '-' is a character; the set follows.
                        ClassAddUnit(cls, u'-');
                        previous = u'-';
                        ++i_;
                        continue;
                    }
                    last = EscapedUnit(p_[j + 1]);
                    j += 2;
                } else {
                    last = p_[j];
                    j += 1;
                }
                for (int32_t c = previous + 1; c <= last; ++c) ClassAddUnit(cls, c);
                previous = -1;
                i_ = j;
                continue;
            }
            ClassAddUnit(cls, ch);
            previous = ch;
            ++i_;
        }
        if (i_ < p_.size()) ++i_;
        if (negated) cls->complement = !cls->complement;
        return cls;
    }

    // Reads a decimal number of a {m,n} quantifier, saturating at the
    // unbounded count.
    static void Accumulate(int64_t &value, char16_t digit) {
        value = std::min<int64_t>(value * 10 + (digit - u'0'), REGEX_UNBOUNDED);
    }

    // A quantifier wraps the atom just read in a repeat. One with nothing
    // before it is dropped.
    void ReadQuantifier() {
        char16_t ch = p_[i_++];
        int64_t min = 0, max = REGEX_UNBOUNDED;
        if (ch == u'+') {
            min = 1;
        } else if (ch == u'?') {
            max = 1;
        } else if (ch == u'{') {
            max = 0;
            bool inMax = false;
            char16_t before = ch;
            while (i_ < p_.size() && p_[i_] != u'}') {
                char16_t c = p_[i_++];
                if (IsDigit(c)) Accumulate(inMax ? max : min, c);
                else if (c == u',') inMax = true;
                before = c;
            }
            if (i_ < p_.size()) ++i_;
            if (before == u',') max = REGEX_UNBOUNDED;
            else if (max < min) max = min;
        }
        int32_t mode = RX_GREEDY;
        if (i_ < p_.size() && p_[i_] == u'?') {
            mode = RX_LAZY;
            ++i_;
        } else if (i_ < p_.size() && p_[i_] == u'+') {
            mode = RX_POSSESSIVE;
            ++i_;
        }
        std::vector<RegexNode *> &atoms = frames_.back().atoms;
        if (atoms.empty()) return;
        RegexNode *atom = atoms.back();
        RegexNode *r = NewNode(RxRepeat);
        r->which = mode;
        r->min = int32_t(min);
        r->max = int32_t(max);
        r->single = mode != RX_LAZY && (atom->kind == RxAnyChar || atom->kind == RxClass ||
                                        (atom->kind == RxLiteral && atom->text.size() == 1));
        Link(r, atom, nullptr);
        atoms.back() = r;
    }

    // The number of code units each node matches, or -1 where that varies
    // (lookbehind needs it for its body), and the fewest it can match.
    // Computed children first, with an explicit stack.
    void ComputeLengths() {
        std::vector<std::pair<RegexNode *, bool>> stack{{program_->root, false}};
        while (!stack.empty()) {
            auto [n, childrenDone] = stack.back();
            stack.pop_back();
            if (!childrenDone) {
                stack.push_back({n, true});
                for (RegexNode *c = n->child; c; c = c->next) stack.push_back({c, false});
                continue;
            }
            n->fixedLength = FixedLength(n);
            n->minLength = MinLength(n);
        }
    }

    static int64_t MinLength(const RegexNode *n) {
        switch (n->kind) {
        case RxAnyChar:
        case RxClass: return 1;
        case RxLiteral: return int64_t(n->text.size());
        case RxAnchor:
        case RxBackReference: return 0;
        case RxRepeat: return std::min<int64_t>(n->child->minLength * n->min, REGEX_UNBOUNDED);
        case RxSequence: {
            int64_t total = 0;
            for (const RegexNode *c = n->child; c; c = c->next) total = std::min<int64_t>(total + c->minLength, REGEX_UNBOUNDED);
            return total;
        }
        case RxAlternation: {
            int64_t least = n->child ? REGEX_UNBOUNDED : 0;
            for (const RegexNode *c = n->child; c; c = c->next) least = std::min(least, c->minLength);
            return least;
        }
        case RxGroup: return n->which > 0 || !n->child ? 0 : n->child->minLength;
        }
        return 0;
    }

    // Makes memo points of the repeats whose boundary states do not depend
    // on how they were reached. A repeat qualifies when it is unbounded and
    // not possessive (so its count no longer matters once the minimum is
    // reached) and every repeat around it is unbounded with a minimum of at
    // most 1 over an atom that cannot match the empty string (so their
    // counts and iteration starts cannot change the outcome either). No
    // lookaround or possessive repeat may enclose it, since those discard
    // alternatives on success and a state inside them can fail on one visit
    // yet succeed on another. A back-reference makes the outcome depend on
    // captures, so a program with one has no memo points.
    void ChooseMemoPoints() {
        program_->memoCount = 0;
        for (const auto &node : program_->nodes)
            if (node->kind == RxBackReference) return;
        for (const auto &node : program_->nodes) {
            RegexNode *r = node.get();
            if (r->kind != RxRepeat || r->single || r->max != REGEX_UNBOUNDED || r->which == RX_POSSESSIVE) continue;
            bool independent = true;
            for (const RegexNode *a = r->parent; a && independent; a = a->parent) {
                if (a->kind == RxGroup && a->which > 0) independent = false;
                if (a->kind == RxRepeat)
                    independent = a->which != RX_POSSESSIVE && a->max == REGEX_UNBOUNDED && a->min <= 1 &&
                                  a->child->minLength >= 1;
            }
            if (independent) r->memo = program_->memoCount++;
        }
    }

    static int64_t FixedLength(const RegexNode *n) {
        switch (n->kind) {
        case RxAnyChar:
        case RxClass: return 1;
        case RxLiteral: return int64_t(n->text.size());
        case RxAnchor: return 0;
        case RxBackReference: return -1;
        case RxRepeat: {
            int64_t atom = n->child->fixedLength, total;
            if (n->min != n->max || atom < 0 || __builtin_mul_overflow(atom, int64_t(n->min), &total)) return -1;
            return total;
        }
        case RxSequence: {
            int64_t total = 0;
            for (const RegexNode *c = n->child; c; c = c->next)
                if (c->fixedLength < 0 || __builtin_add_overflow(total, c->fixedLength, &total)) return -1;
            return total;
        }
        case RxAlternation: {
            int64_t common = n->child ? n->child->fixedLength : 0;
            for (const RegexNode *c = n->child; c; c = c->next)
                if (c->fixedLength != common) return -1;
            return common;
        }
        case RxGroup:
            // Lookarounds consume nothing.
            if (n->which > 0) return 0;
            return n->child ? n->child->fixedLength : 0;
        }
        return -1;
    }

    RegexProgram *program_;
    std::u16string_view p_;
    size_t i_ = 0;
    std::vector<GroupFrame> frames_;
};

// ---------------------------------------------------------------------------
// Matching

std::u16string Decimal(int64_t n) {
    std::u16string s;
    do {
        s.insert(s.begin(), char16_t(u'0' + n % 10));
        n /= 10;
    } while (n > 0);
    return s;
}

// One code unit matched by the atom of a single-unit repeat.
bool UnitMatches(const RegexNode *atom, char16_t c) {
    if (c == 0) return false;
    switch (atom->kind) {
    case RxClass: return ClassHas(atom, c);
    case RxLiteral: return atom->text[0] == c;
    default: return true;
    }
}

bool IsLookaround(const RegexNode *g) { return g->which > 0; }
bool IsNegative(const RegexNode *g) { return g->which == RX_GROUP_NOT_LOOKAHEAD || g->which == RX_GROUP_NOT_LOOKBEHIND; }
bool IsLookbehind(const RegexNode *g) { return g->which == RX_GROUP_LOOKBEHIND || g->which == RX_GROUP_NOT_LOOKBEHIND; }

// What the matches of one scan over one subject learn about the boundary
// states of memo points (see RegexProgram): for each memo point and
// position, the stamp of the last visit, and the stamps known to belong to
// states that failed.
//
// A visit is stamped with the serial number of the last choice point made.
// Within one match, a state visited before has failed: the search goes
// depth first and alternatives in a fixed order, so it comes back to a
// state only after everything reachable from it has been tried, and no
// path leads from a boundary state back to itself without consuming input.
// Across matches only what has been seen to fail counts, since a state on
// the path of a successful match did not fail: when a choice point is taken
// up, every state visited since it was made has failed, so the stamps from
// its serial number on are failed ones; when a whole match fails, all of its
// stamps are.
class RegexMemo {
public:
    // Starts a match whose first stamp comes from serial, which no visit
    // of an earlier match has. Stamps are 32-bit offsets from a base that
    // moves on, forgetting everything, when they would run out.
    void BeginMatch(uint64_t serial, int32_t points) {
        if (visits_.size() < size_t(points)) visits_.resize(size_t(points));
        if (serial - base_ > kStampLimit / 2) {
            for (std::vector<uint32_t> &v : visits_) std::fill(v.begin(), v.end(), 0);
            failed_.clear();
            base_ = serial;
        }
        matchStart_ = Stamp(serial);
    }

    // Whether the boundary state of memo point `point` at position is known
    // to fail; if it is not, the visit is recorded under serial. Stamps that
    // have run out record nothing and know nothing.
    bool KnownFailed(int32_t point, int64_t position, uint64_t serial) {
        if (serial - base_ >= kStampLimit) return false;
        std::vector<uint32_t> &v = visits_[size_t(point)];
        if (size_t(position) >= v.size()) v.resize(size_t(position) + 1, 0);  // grows geometrically
        uint32_t seen = v[size_t(position)];
        if (seen >= matchStart_ || (seen != 0 && Failed(seen))) return true;
        v[size_t(position)] = Stamp(serial);
        lastVisit_ = serial;
        return false;
    }

    // Every state visited under the serial numbers from..to has failed.
    void Fail(uint64_t from, uint64_t to) {
        // A span without visits would tell nothing.
        if (lastVisit_ < from || to - base_ >= kStampLimit) return;
        uint32_t a = from < base_ ? 1 : Stamp(from), b = Stamp(to);
        // to is the newest serial, so the span ends after every span known;
        // it swallows those it touches.
        while (!failed_.empty() && failed_.back().to + 1 >= a) {
            a = std::min(a, failed_.back().from);
            failed_.pop_back();
        }
        failed_.push_back({a, b});
    }

private:
    static constexpr uint64_t kStampLimit = 0xFFFFFFF0;

    struct Span {
        uint32_t from, to;
    };

    uint32_t Stamp(uint64_t serial) const { return uint32_t(serial - base_ + 1); }

    bool Failed(uint32_t stamp) const {
        auto after = std::upper_bound(failed_.begin(), failed_.end(), stamp,
                                      [](uint32_t s, const Span &span) { return s < span.from; });
        return after != failed_.begin() && stamp <= std::prev(after)->to;
    }

    std::vector<std::vector<uint32_t>> visits_;  // 0: never visited
    std::vector<Span> failed_;                   // sorted and disjoint
    uint64_t base_ = 0;
    uint32_t matchStart_ = 1;
    uint64_t lastVisit_ = 0;  // serial of the latest visit recorded
};

// One match of a program at one start index. The matcher walks the tree
// with a current node and position in one of four phases: entering a node,
// leaving it successfully, finishing a group's body, and failing, which
// takes up the most recent choice point.
//
// Values that nodes keep during the match live in RegexCells; a changed
// cell's previous value goes onto the trail, and taking up a choice point
// first restores every cell changed since it was made. Nested repeats and
// groups inside repeats therefore see exactly the counts, starts and
// captures they had when the alternative was saved.
//
// Lookarounds and possessive repeats are atomic: when their body succeeds,
// the choice points made inside it are discarded. A negative lookaround
// keeps a choice point beneath its body that is taken up when the body has
// failed in every way, and that makes the lookaround succeed.
//
// An alternation's entry leaves the stack when its last branch is entered,
// as there is nothing left to come back to; so a repeat over alternatives
// needs no entry per iteration unless an earlier branch has matched.
class Matcher {
public:
    // memo, borrowed, is shared by the matches of one scan over subject.
    Matcher(const char16_t *subject, RegexProgram *program, RegexMemo &memo)
        : s_(subject), program_(program), state_(kernel.syntax), trail_(kernel.syntax.regexTrail),
          memo_(program->memoCount > 0 ? &memo : nullptr) {
        if (!state_.regexStack) state_.regexStack = std::make_unique_for_overwrite<RegexChoicePoint[]>(REGEX_CHOICE_LIMIT);
        stack_ = state_.regexStack.get();
        trail_.clear();
    }

    ~Matcher() {
        // A very long match can leave a large trail; do not keep its storage.
        if (trail_.capacity() > 65536) std::vector<RegexTrailEntry>().swap(trail_);
        else trail_.clear();
    }

    int64_t Run(int64_t start, CaptureMap &captures) {
        for (RegexNode *g : program_->groups) g->captureStart = g->captureEnd = {-1, 0};
        if (memo_) {
            matchSerial_ = ++state_.regexSerial;
            memo_->BeginMatch(matchSerial_, program_->memoCount);
        }
        enum { ENTER, LEAVE, GROUP_DONE, FAIL } phase = ENTER;
        RegexNode *node = program_->root;
        int64_t c = start;
        while (!exhausted_) {
            switch (phase) {
            case ENTER:
                switch (node->kind) {
                case RxAnyChar:
                    if (s_[c] == 0) {
                        phase = FAIL;
                        break;
                    }
                    ++c;
                    phase = LEAVE;
                    break;
                case RxLiteral: {
                    // The literal holds no NUL, so the comparison stops at the
                    // subject's terminator at the latest.
                    const std::u16string &t = node->text;
                    size_t k = 0;
                    while (k < t.size() && s_[c + int64_t(k)] == t[k]) ++k;
                    if (k < t.size()) {
                        phase = FAIL;
                        break;
                    }
                    c += int64_t(k);
                    phase = LEAVE;
                    break;
                }
                case RxClass:
                    if (s_[c] == 0 || !ClassHas(node, s_[c])) {
                        phase = FAIL;
                        break;
                    }
                    ++c;
                    phase = LEAVE;
                    break;
                case RxAnchor:
                    phase = AnchorHolds(node->which, c) ? LEAVE : FAIL;
                    break;
                case RxBackReference:
                    phase = BackReference(node->number, c) ? LEAVE : FAIL;
                    break;
                case RxSequence:
                    node = node->child;
                    break;
                case RxAlternation:
                    if (!node->child) {
                        phase = LEAVE;
                        break;
                    }
                    if (node->child->next && !Push(node, c, 0, node->child)) return GiveUp(captures);
                    node = node->child;
                    break;
                case RxRepeat:
                    if (node->max < 1) {
                        phase = LEAVE;
                        break;
                    }
                    if (node->single) {
                        // Take as many units as allowed at once; a greedy
                        // repeat keeps one choice point that gives them back
                        // one at a time.
                        int64_t k = 0;
                        while (k < node->max && UnitMatches(node->child, s_[c + k])) ++k;
                        if (k < node->min) {
                            phase = FAIL;
                            break;
                        }
                        if (node->which == RX_GREEDY && k > node->min && !Push(node, c, k, nullptr))
                            return GiveUp(captures);
                        c += k;
                        phase = LEAVE;
                        break;
                    }
                    if (node->min == 0 && KnownFailed(node, c)) {
                        phase = FAIL;
                        break;
                    }
                    Save(node->count, 0);
                    Save(node->start, c);
                    if (node->which == RX_POSSESSIVE) Save(node->base, height_);
                    if (node->min == 0) {
                        if (!Push(node, c, 0, nullptr)) return GiveUp(captures);
                        if (node->which == RX_LAZY) {
                            phase = LEAVE;
                            break;
                        }
                    }
                    node = node->child;
                    break;
                case RxGroup:
                    Save(node->start, c);
                    if (IsLookbehind(node)) {
                        int64_t length = node->child ? node->child->fixedLength : 0;
                        if (length < 0 || c < length) {
                            phase = FAIL;
                            break;
                        }
                        c -= length;
                    }
                    if (IsLookaround(node)) Save(node->base, height_);
                    if (IsNegative(node) && !Push(node, node->start.value, 0, nullptr)) return GiveUp(captures);
                    if (node->child) node = node->child;
                    else phase = GROUP_DONE;
                    break;
                }
                break;

            case LEAVE: {
                RegexNode *p = node->parent;
                if (!p) return Succeed(start, c, captures);
                switch (p->kind) {
                case RxGroup:
                    node = p;
                    phase = GROUP_DONE;
                    break;
                case RxSequence:
                    if (node->next) {
                        node = node->next;
                        phase = ENTER;
                    } else {
                        node = p;
                    }
                    break;
                case RxRepeat: {
                    int64_t count = p->count.value + 1;
                    // An iteration that consumed nothing would repeat forever
                    // without changing anything; it ends the repeat.
                    bool empty = c == p->start.value;
                    Save(p->count, count);
                    node = p;
                    if (count >= p->max || empty) break;
                    if (count >= p->min) {
                        if (KnownFailed(p, c)) {
                            phase = FAIL;
                            break;
                        }
                        if (p->which == RX_POSSESSIVE) Cut(p->base.value);
                        if (!Push(p, c, count, nullptr)) return GiveUp(captures);
                        if (p->which == RX_LAZY) break;
                    }
                    Save(p->start, c);
                    node = p->child;
                    phase = ENTER;
                    break;
                }
                default:  // an alternation is left with its branch's result
                    node = p;
                    break;
                }
                break;
            }

            case GROUP_DONE:
                if (IsLookaround(node)) {
                    Cut(node->base.value);
                    if (IsNegative(node)) {
                        phase = FAIL;
                        break;
                    }
                    c = node->start.value;
                }
                if (node->number >= 0) {
                    Save(node->captureStart, node->start.value);
                    Save(node->captureEnd, c);
                }
                phase = LEAVE;
                break;

            case FAIL: {
                if (height_ == 0) {
                    if (memo_) memo_->Fail(matchSerial_, state_.regexSerial);
                    return Fail(captures);
                }
                RegexChoicePoint &cp = stack_[height_ - 1];
                Undo(cp.trailHeight);
                if (memo_) memo_->Fail(cp.id, state_.regexSerial);
                RegexNode *n = cp.node;
                if (n->kind == RxAlternation) {
                    // Entries are made for alternations of two branches or
                    // more and dropped on entering the last, so a next one
                    // is there.
                    cp.branch = cp.branch->next;
                    c = cp.position;
                    node = cp.branch;
                    phase = ENTER;
                    if (!node->next) Cut(height_ - 1);
                } else if (n->kind == RxGroup) {
                    // The body of a negative lookaround has failed.
                    c = cp.position;
                    Cut(height_ - 1);
                    node = n;
                    phase = LEAVE;
                } else if (n->single) {
                    int64_t k = cp.count - 1;
                    c = cp.position + k;
                    if (k == n->min) Cut(height_ - 1);
                    else cp.count = k;
                    node = n;
                    phase = LEAVE;
                } else {
                    c = cp.position;
                    int64_t count = cp.count;
                    Cut(height_ - 1);
                    Save(n->count, count);
                    if (n->which == RX_LAZY) {
                        Save(n->start, c);
                        node = n->child;
                        phase = ENTER;
                    } else {
                        node = n;
                        phase = LEAVE;
                    }
                }
                break;
            }
            }
        }
        return GiveUp(captures);
    }

private:
    // Whether the boundary state of repeat r at c is known to fail; records
    // the visit when it is not.
    bool KnownFailed(const RegexNode *r, int64_t c) {
        return memo_ && r->memo >= 0 && memo_->KnownFailed(r->memo, c, state_.regexSerial);
    }

    bool AnchorHolds(int32_t which, int64_t c) const {
        switch (which) {
        case RX_ANCHOR_START: return c == 0;
        case RX_ANCHOR_END: return s_[c] == 0;
        default:
            if (c == 0) return IsWordUnit(s_[0]);
            return IsWordUnit(s_[c - 1]) != IsWordUnit(s_[c]);
        }
    }

    // The last capture of group `number` follows at c; advances c past it.
    // A group that has not captured in this match matches nothing.
    bool BackReference(int32_t number, int64_t &c) const {
        if (number >= program_->groupCount) return false;
        const RegexNode *g = program_->groups[size_t(number)];
        if (g->captureEnd.value < 0) return false;
        int64_t from = g->captureStart.value, length = g->captureEnd.value - from;
        for (int64_t k = 0; k < length; ++k)
            if (s_[c + k] != s_[from + k]) return false;
        c += length;
        return true;
    }

    bool Push(RegexNode *node, int64_t position, int64_t count, RegexNode *branch) {
        if (height_ == REGEX_CHOICE_LIMIT) return false;
        uint64_t id = ++state_.regexSerial;
        stack_[height_++] = {node, position, count, branch, id, trail_.size()};
        topId_ = id;
        return true;
    }

    // Drops the choice points from `height` up.
    void Cut(int64_t height) {
        height_ = height;
        topId_ = height > 0 ? stack_[height - 1].id : 0;
    }

    void Save(RegexCell &cell, int64_t value) {
        if (cell.stamp < topId_) {
            if (int64_t(trail_.size()) == REGEX_TRAIL_LIMIT) {
                exhausted_ = true;
                return;
            }
            trail_.push_back({&cell, cell});
            cell.stamp = topId_;
        }
        cell.value = value;
    }

    void Undo(uint64_t height) {
        while (trail_.size() > height) {
            *trail_.back().cell = trail_.back().saved;
            trail_.pop_back();
        }
    }

    int64_t Succeed(int64_t start, int64_t c, CaptureMap &captures) const {
        for (const RegexNode *g : program_->groups) {
            if (g->captureEnd.value < 0) continue;
            std::u16string text(s_ + g->captureStart.value, size_t(g->captureEnd.value - g->captureStart.value));
            if (!g->text.empty()) captures[g->text] = text;
            captures[Decimal(g->number)] = std::move(text);
        }
        return c - start;
    }

    static int64_t Fail(CaptureMap &captures) {
        captures.erase(u"0");
        return -1;
    }

    // The stack or the trail is full: the match is given up undecided.
    static int64_t GiveUp(CaptureMap &captures) {
        captures.erase(u"0");
        return REGEX_EXHAUSTED;
    }

    const char16_t *s_;
    RegexProgram *program_;
    SyntaxState &state_;
    std::vector<RegexTrailEntry> &trail_;
    RegexChoicePoint *stack_;
    int64_t height_ = 0;
    uint64_t topId_ = 0;      // id of the top choice point, 0 when none
    bool exhausted_ = false;  // the trail is full
    RegexMemo *memo_;         // null for a program without memo points
    uint64_t matchSerial_ = 0;  // the serial number the match started with
};

}  // namespace

// ---------------------------------------------------------------------------
// Handles and the operations over them

int64_t Regex_Compile(int64_t slot, std::u16string_view pattern) {
    if (slot != -1 && !SlotTable<RegexProgram>::Valid(slot)) return 0;
    pattern = pattern.substr(0, pattern.find(u'\0'));
    auto program = std::make_unique<RegexProgram>();
    program->slot = slot;
    Compiler(program.get(), pattern).Run();
    if (slot == -1) return reinterpret_cast<int64_t>(program.release());
    delete kernel.syntax.regexSlots.Put(slot, program.release());
    return slot;
}

RegexProgram *Regex_FromHandle(int64_t handle) { return kernel.syntax.regexSlots.Resolve(handle); }

namespace {

int64_t MatchAt(const char16_t *subject, int64_t start, RegexProgram *program, CaptureMap &captures,
                RegexMemo &memo) {
    if (!program || !subject || start < 0) {
        captures.erase(u"0");
        return -1;
    }
    return Matcher(subject, program, memo).Run(start, captures);
}

}  // namespace

int64_t Regex_Match(const char16_t *subject, int64_t start, RegexProgram *program, CaptureMap &captures) {
    RegexMemo memo;
    return MatchAt(subject, start, program, captures, memo);
}

int64_t Regex_Scan(int64_t handle, const char16_t *subject, RegexOnMatch onMatch) {
    RegexProgram *program = Regex_FromHandle(handle);
    if (!program || !subject) return -1;
    CaptureMap captures;
    RegexMemo memo;
    int64_t b = 0;
    while (subject[b] != 0) {
        captures.clear();
        int64_t d = MatchAt(subject, b, program, captures, memo);
        if (d == REGEX_EXHAUSTED) return b;
        if (d >= 0 && captures.contains(u"0")) onMatch(captures, b);
        b += d >= 1 ? d : 1;
    }
    return -1;
}

bool Regex_Search(int64_t handle, const char16_t *subject) {
    RegexProgram *program = Regex_FromHandle(handle);
    if (!program || !subject) return false;
    CaptureMap captures;
    RegexMemo memo;
    for (int64_t b = 0; subject[b] != 0; ++b)
        if (MatchAt(subject, b, program, captures, memo) >= 0) return true;
    return false;
}

std::u16string Regex_Replace(int64_t handle, const char16_t *subject, std::u16string_view replacement,
                             RegexReplacer onMatch) {
    RegexProgram *program = Regex_FromHandle(handle);
    if (!subject) return {};
    if (!program) return subject;
    // Matches never overlap and come left to right, so the result is built
    // by copying the stretches between them.
    std::u16string result;
    CaptureMap captures;
    RegexMemo memo;
    int64_t b = 0, copied = 0;
    while (subject[b] != 0) {
        captures.clear();
        int64_t d = MatchAt(subject, b, program, captures, memo);
        if (d >= 0 && captures.contains(u"0")) {
            result.append(subject + copied, size_t(b - copied));
            if (onMatch) result += onMatch(captures, b);
            else result += replacement;
            copied = b + d;
        }
        b += d >= 1 ? d : 1;
    }
    result.append(subject + copied);
    return result;
}

void Regex_Free(int64_t handle) {
    RegexProgram *program = Regex_FromHandle(handle);
    if (!program) return;
    kernel.syntax.regexSlots.Remove(program->slot, program);
    delete program;
}
