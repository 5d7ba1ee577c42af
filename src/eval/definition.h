// Definitions: the values, rewrite rules and native implementations stored
// in symbol records, kept in match order from the most specific left side to
// the most general, and the assignment built-ins that make them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "object/native_table.h"

#include "eval/literal_index.h"
#include "kernel/state.h"
#include "eval/pattern.h"
#include "eval/rule_template.h"
#include "eval/signature.h"
#include "object/object.h"
#include "object/symbol.h"

constexpr uint64_t DEF_VALUE = 0x1000;      // the payload is a right side
constexpr uint64_t DEF_NATIVE = 0x2000;     // the payload is a native implementation
constexpr uint64_t DEF_DELAYED = 0x40000;   // made by a delayed assignment
constexpr uint64_t DEF_SUB = 0x80000;       // sub-definition, found through the arguments
constexpr uint64_t DEF_OWN = 0x100000;      // own-value entry

constexpr uint64_t FIND_CREATE = 0x4000;
constexpr uint64_t FIND_REPLACE = 0x8000;
constexpr uint64_t FIND_SKIP_NATIVE = 0x10000;
constexpr uint64_t FIND_EXACT = 0x20000;

struct DefinitionEntry {
    Object *left;            // owned: a pattern expression, or the symbol itself
    Object *right;           // owned right side, or null
    NativeFunction native;   // or null
    BindingList bindings;    // the names of the left side
    MatchState *state;       // reused for every match; made by the first one
    Signature signature;     // what rules subjects out before the matcher runs
    RuleTemplate compiled;   // the right side compiled for the names, once used
    uint64_t flags;
    SymbolRecord *owner;
    uint64_t hash;           // literal entries: LiteralIndex_Hash of the left side
    int64_t gap;             // literal entries: the ordered entries tried before it
    bool literal;            // filed in the literal index, not in the ordered list
    bool dead;               // removed while a search was running; freed after it
};

// The ordered entries of a list as a shared array: a search holds a
// reference, and a change made while one runs (a Condition test may define
// or clear rules of the very symbol being searched) goes to a copy, so the
// search goes on over the entries it started with.
struct EntryArray {
    int64_t refs;
    std::vector<DefinitionEntry *> items;
};

// A record's definitions. Literal left sides live in a hash table; every
// other entry (patterns, natives, sub-definitions) in the ordered array, from
// the most specific left side to the most general. The order of trial is the
// one a single list would give: each literal entry sits in the gap before
// ordered entry number gap, so a subject that is the same as a literal left
// side is tried against ordered entries 0 .. gap-1 and then the literal.
// Within one gap the literals are in canonical order; gapMax holds the
// greatest of each gap (size: ordered entries + 1).
//
// A record whose root is Flat or Orderless, or a literal whose heads gain
// such attributes later, would let the matcher accept more than the same
// expression: such a list is (or becomes) unindexed, with every entry in the
// ordered array, as one list.
struct DefinitionList {
    EntryArray *ordered;
    LiteralIndex literals;
    std::vector<DefinitionEntry *> gapMax;
    int64_t userEntries = 0;  // entries neither native nor sub-definitions
    int64_t subEntries = 0;   // sub-definitions
    uint64_t epoch = 0;       // kernel.eval.literalEpoch when last checked
    bool indexed = true;
};

// Stores a definition or attributes. lhs is consumed; with DEF_VALUE so is
// value, the right side (otherwise value is null). The low 12 bits of flags
// are attribute bits OR-ed into each target record; a non-null formatter
// becomes the records' output formatter. Protected targets are refused with
// a message. Returns the symbol of the last record handled (borrowed), or
// null.
Object *Symbol_Define(Object *lhs, uint64_t flags, Object *value, OutputFormatter formatter);

// Symbol_Define for a native implementation: attaches native to the
// argument pattern lhs (consumed), with the attribute bits of flags.
Object *Symbol_DefineNative(Object *lhs, uint64_t flags, NativeFunction native, OutputFormatter formatter);

// Exact mode (FIND_EXACT): the entry for the left side lhs (borrowed),
// replaced or created as flags say. Matching mode: the first entry whose left
// side matches subject (borrowed); with a partial slot, a partial match of a
// Flat head stores its partial result (owned) there.
DefinitionEntry *Definition_Find(SymbolRecord *r, Object *lhs, uint64_t flags, Object **partial);

// The entries of the record's definition list (not its own value) in the
// order the matcher tries them, wherever the list files them. The entries
// stay the record's.
std::vector<DefinitionEntry *> Definitions_InTrialOrder(SymbolRecord *r);

// Forgets the matches that an abandoned call left running: every entry's
// bindings are released.
void Definitions_AbandonMatches();

// Drops every definition of the record, releasing what they hold, and the
// list itself.
void Definitions_Clear(SymbolRecord *r);

// Frees the definitions' memory without releasing objects (the clearing
// step drops all objects at once), and the list itself.
void Definitions_Drop(SymbolRecord *r);

// Whether a user definition (not a native) could rewrite an expression
// with this root record or, as a sub-definition, with an argument of this
// record. Cheap; for the callers that offer expressions to user rules.
inline bool Definitions_HaveUserRules(const SymbolRecord *r) { return r->definitions && r->definitions->userEntries > 0; }
inline bool Definitions_HaveSubRules(const SymbolRecord *r) { return r->definitions && r->definitions->subEntries > 0; }
// Whether any record holds a sub-definition.
inline bool Definitions_AnySubRules() { return kernel.eval.subDefinitions > 0; }

// The assignment built-ins and Clear. Consume call.
Object *Builtin_Define(Object *call);
Object *Builtin_DefineDelayed(Object *call);
Object *Builtin_SubDefine(Object *call);
Object *Builtin_SubDefineDelayed(Object *call);
Object *Builtin_Clear(Object *call);

// The natives of this module, for the registry.
extern const NativeTable DefinitionNatives;
