// Definitions: the values, rewrite rules and native implementations stored
// in symbol records, kept in match order from the most specific left side to
// the most general, and the assignment built-ins that make them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "object/native_table.h"

#include "eval/pattern.h"
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
    MatchState *state;       // reused for every match
    // A left side h(blanks) of unnamed Any, AnySequence, AnyNullSequence,
    // where h is a symbol or again such a call (Function(?)(???)), matches
    // exactly the expressions whose argument counts lie in the ranges, level
    // by level from the outside in, around the same root symbol, with
    // nothing to bind: such entries (most natives) are decided without the
    // matcher. Empty for every other left side.
    std::vector<std::pair<int64_t, int64_t>> arity;
    uint64_t flags;
    SymbolRecord *owner;
    int32_t users;           // matches with this entry in progress
    bool dead;               // removed while in use; freed by its last user
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

// Forgets the matches that an abandoned call left running: every entry's
// bindings are released and it counts no users. Entries retired while such
// a match held them are not reachable any more and stay allocated.
void Definitions_AbandonMatches();

// Drops every definition of the record, releasing what they hold.
void Definitions_Clear(SymbolRecord *r);

// Frees the definitions' memory without releasing objects (the clearing
// step drops all objects at once).
void Definitions_Drop(SymbolRecord *r);

// The assignment built-ins and Clear. Consume call.
Object *Builtin_Define(Object *call);
Object *Builtin_DefineDelayed(Object *call);
Object *Builtin_SubDefine(Object *call);
Object *Builtin_SubDefineDelayed(Object *call);
Object *Builtin_Clear(Object *call);

// The natives of this module, for the registry.
extern const NativeTable DefinitionNatives;
