// The kernel's own backtracking regular-expression engine. A pattern
// compiles into a tree of nodes; a match walks that tree at one fixed start
// position over the UTF-16 code units of a zero-terminated subject and keeps
// its untried alternatives on an explicit stack of choice points instead of
// recursing, so no subject can exhaust the machine stack.
//
// The dialect is what the kernel's own patterns need: literals, `.`, classes
// with ranges and the escapes \d \w \s \D \W \S \n \r \t, anchors ^ $ \b,
// greedy, lazy and possessive quantifiers, capturing, non-capturing and named
// groups, lookahead and fixed-length lookbehind, one-digit back-references.
// Unescaped spaces between atoms are ignored, alternatives are tried strictly
// in order, and a lookbehind that would reach before the subject fails.
//
// Handles: Regex_Compile(-1, ...) allocates a program and returns its address
// as the handle; a slot number 0..65535 stores the program in that slot of a
// table in the kernel state and returns the slot number. Every other function
// taking a handle resolves 0..65535 through the table and treats a larger
// value as the program's address.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The text each group matched, under the group's number in decimal ("0",
// "1", ...) and, for a named group, also under its name. The caller owns it.
using CaptureMap = std::unordered_map<std::u16string, std::u16string>;

enum RegexKind : int32_t {
    RxAnyChar,
    RxAnchor,
    RxClass,
    RxLiteral,
    RxRepeat,
    RxAlternation,
    RxSequence,
    RxGroup,
    RxBackReference,
};

enum : int32_t {
    // Anchors.
    RX_ANCHOR_START = 1,
    RX_ANCHOR_END = 2,
    RX_ANCHOR_WORD = 3,
    // Group kinds.
    RX_GROUP_PLAIN = -1,
    RX_GROUP_CAPTURING = 0,
    RX_GROUP_LOOKBEHIND = 1,
    RX_GROUP_NOT_LOOKBEHIND = 2,
    RX_GROUP_LOOKAHEAD = 3,
    RX_GROUP_NOT_LOOKAHEAD = 4,
    // Repeat modes.
    RX_LAZY = -1,
    RX_GREEDY = 0,
    RX_POSSESSIVE = 1,
};

constexpr int32_t REGEX_UNBOUNDED = 2147483647;
// Entries of the choice-point stack; a match that needs more is given up.
constexpr int64_t REGEX_CHOICE_LIMIT = 1048577;
// Entries of the undo trail (below); a match that needs more is given up too.
constexpr int64_t REGEX_TRAIL_LIMIT = 4 * REGEX_CHOICE_LIMIT;
// What Regex_Match returns for a match it gave up, which is no failure: the
// subject might have matched with more room.
constexpr int64_t REGEX_EXHAUSTED = -2;

// A value a node keeps while a match runs (an iteration count, a start
// position), with the serial number of the choice point under which its
// previous value was last saved on the trail. A value is saved at most once
// per choice point, which keeps the trail short.
struct RegexCell {
    int64_t value;
    uint64_t stamp;
};

struct RegexNode {
    RegexKind kind;
    RegexNode *parent;  // null for the root
    RegexNode *next;    // next sibling
    RegexNode *child;   // first child; children are in pattern order

    int32_t which;   // anchor, group kind or repeat mode
    int32_t number;  // group number (-1 if none) or back-referenced group
    int32_t min;     // repeat bounds; max REGEX_UNBOUNDED is unbounded
    int32_t max;
    bool single;     // a greedy or possessive repeat of one code unit per
                     // iteration, matched by a plain loop
    bool complement;              // class: membership is inverted
    std::vector<uint32_t> bits;   // class: bit c % 32 of word c / 32
    std::u16string text;          // literal characters, or a group's name
    int64_t fixedLength;          // code units matched, -1 when it varies
    int64_t minLength;            // fewest code units any match takes
    int32_t memo;                 // repeat: its memo point (below), or -1

    // Match-time values. Repeat: count, start of the current iteration,
    // stack height at entry (possessive). Group: start, stack height at
    // entry (lookarounds), and the last capture.
    RegexCell count;
    RegexCell start;
    RegexCell base;
    RegexCell captureStart;
    RegexCell captureEnd;
};

// A memo point is a repeat whose iteration boundaries are remembered: the
// state "the repeat has done enough iterations and stands at position c"
// leads to the same outcome however it was reached, because nothing around
// the repeat depends on how many iterations were made or where they began.
// A boundary state that has failed once is not explored again, which keeps
// ambiguous repeats (a repeat over alternatives that can cover the same
// text in several ways) from taking exponential time.
struct RegexProgram {
    RegexNode *root;                               // capturing group 0
    int32_t groupCount;                            // capturing groups, root included
    int32_t memoCount;                             // memo points
    std::vector<std::unique_ptr<RegexNode>> nodes; // owns every node
    std::vector<RegexNode *> groups;               // capturing groups by number
    int64_t slot;                                  // slot holding it, or -1
};

// An alternative not yet tried: a repeat that may stop after `count`
// iterations at `position`, the `branch` of an alternation being tried, or a
// negative lookaround that succeeds at `position` once its body has failed.
struct RegexChoicePoint {
    RegexNode *node;
    int64_t position;
    int64_t count;
    RegexNode *branch;
    uint64_t id;           // serial number, unique for the process
    uint64_t trailHeight;  // trail entries made before this choice point
};

// The previous value of a cell, restored when the match backtracks past
// the choice point that was on top when the cell changed.
struct RegexTrailEntry {
    RegexCell *cell;
    RegexCell saved;
};

// Compiles pattern (up to its first NUL) under the handle convention above.
// Returns the handle, or 0 for a slot outside -1 and 0..65535. Any text
// compiles: malformed patterns build whatever tree the rules give.
int64_t Regex_Compile(int64_t slot, std::u16string_view pattern);

// The program behind a handle (borrowed), or null.
RegexProgram *Regex_FromHandle(int64_t handle);

// Anchored match of program at index start of the zero-terminated subject
// (start at most the subject's length). Returns the length matched (0
// allowed), -1 when there is no match, or REGEX_EXHAUSTED when the match
// would need more choice points or trail entries than the engine holds. On
// success the captures of the groups that took part are written into
// captures (other keys are left alone); otherwise only the key "0" is
// removed. Anchors and lookbehind see absolute indexes into the subject.
int64_t Regex_Match(const char16_t *subject, int64_t start, RegexProgram *program, CaptureMap &captures);

// Receives the captures of a match and the index where it starts.
using RegexOnMatch = void (*)(const CaptureMap &captures, int64_t position);
// Returns the text that replaces a match.
using RegexReplacer = std::u16string (*)(const CaptureMap &captures, int64_t position);

// Tries a match at every index of subject from 0, calling onMatch for each
// success and continuing after it (one index further after an empty match);
// indexes where nothing matches are skipped. Returns -1 when the whole
// subject was scanned, or the index of a match that the engine gave up
// (REGEX_EXHAUSTED), where the scan stops. The matches of one scan share
// what they learn about failing states, so the scan stays near-linear in
// the subject's length.
int64_t Regex_Scan(int64_t handle, const char16_t *subject, RegexOnMatch onMatch);

// True when a match starts at some index before the terminating zero. A
// match given up counts as none.
bool Regex_Search(int64_t handle, const char16_t *subject);

// The subject with every match found as by Regex_Scan replaced by
// onMatch's result, or by replacement when onMatch is null; a match given
// up counts as none. Returns a new string; the subject is unchanged.
std::u16string Regex_Replace(int64_t handle, const char16_t *subject, std::u16string_view replacement,
                             RegexReplacer onMatch);

// Frees the program behind a handle and clears its slot.
void Regex_Free(int64_t handle);
