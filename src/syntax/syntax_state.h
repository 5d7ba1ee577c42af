// The part of the kernel state that belongs to the language front end.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "syntax/regex.h"

struct Lexer;
struct Grammar;

// The slot table of the handle convention that patterns and lexers share:
// a creator called with -1 returns the new record's address as the handle,
// one called with a slot 0..65535 stores the record there and returns the
// slot number. Resolving a handle looks 0..65535 up in the table and takes
// any larger value as the record's address. The table owns nothing; the
// module that makes the records frees them.
constexpr int64_t SYNTAX_SLOT_COUNT = 65536;

template <typename T>
struct SlotTable {
    std::vector<T *> slots;

    static bool Valid(int64_t slot) { return slot >= 0 && slot < SYNTAX_SLOT_COUNT; }

    // The record behind a handle, or null.
    T *Resolve(int64_t handle) const {
        if (handle < 0) return nullptr;
        if (handle < SYNTAX_SLOT_COUNT) return size_t(handle) < slots.size() ? slots[size_t(handle)] : nullptr;
        return reinterpret_cast<T *>(handle);
    }

    // Stores record in a valid slot; returns the record that was there (the
    // caller frees it) or null.
    T *Put(int64_t slot, T *record) {
        if (slots.size() <= size_t(slot)) slots.resize(size_t(slot) + 1, nullptr);
        T *previous = slots[size_t(slot)];
        slots[size_t(slot)] = record;
        return previous;
    }

    // Empties the slot if it holds record.
    void Remove(int64_t slot, const T *record) {
        if (Valid(slot) && size_t(slot) < slots.size() && slots[size_t(slot)] == record) slots[size_t(slot)] = nullptr;
    }
};

struct SyntaxState {
    Lexer *lexer;          // the kernel's tokenizer, built by Kernel_Initialize
    Grammar *grammar;      // the kernel's parser
    int64_t bracketDepth;  // bracket nesting of the text being tokenized

    // The pattern engine's working storage, shared by every match: the
    // choice-point stack (REGEX_CHOICE_LIMIT entries, allocated by the first
    // match and kept), the undo trail, and the serial number of the last
    // choice point made.
    std::unique_ptr<RegexChoicePoint[]> regexStack;
    std::vector<RegexTrailEntry> regexTrail;
    uint64_t regexSerial = 0;

    // Records created under a slot number rather than by address.
    SlotTable<RegexProgram> regexSlots;
    SlotTable<Lexer> lexerSlots;

    // The lexer whose tokenization is running; its per-match step finds it
    // here.
    Lexer *currentLexer = nullptr;

    // Word-operator names and their operator characters (And "∧", ...).
    std::map<std::u16string, std::u16string> wordOperators;
    // The characters that end a symbol name, as the text of a pattern class
    // (escapes included, brackets excluded).
    std::u16string delimiterClass;
    // The compiled check of a whole text as one symbol name, built from the
    // delimiter class on first use (address handle, 0 until then); it goes
    // with the delimiter class.
    int64_t namePattern = 0;
    // Names of constants and their display characters (Pi "π", ...).
    std::map<std::u16string, std::u16string> constantNames;
};

// Frees what the front end still holds when the library unloads: the
// tokenizer, and every pattern and lexer left in a slot.
void SyntaxState_Destroy();
