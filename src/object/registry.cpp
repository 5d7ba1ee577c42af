#include "object/registry.h"

#include <array>
#include <cmath>

#include "eval/arith.h"
#include "eval/compare.h"
#include "eval/control.h"
#include "eval/definition.h"
#include "eval/expand.h"
#include "eval/lists.h"
#include "eval/numeric.h"
#include "eval/pattern.h"
#include "eval/power.h"
#include "eval/relations.h"
#include "eval/replace.h"
#include "eval/sets.h"
#include "kernel/print.h"
#include "kernel/state.h"
#include "number/binary_format.h"
#include "number/complex.h"
#include "number/elementary.h"
#include "number/integer.h"
#include "number/number_theory.h"
#include "number/random.h"
#include "number/rational.h"
#include "number/real.h"
#include "number/rounding.h"
#include "object/attributes.h"
#include "object/expression.h"
#include "object/is_numeric.h"
#include "object/string.h"
#include "object/symbol.h"
#include "syntax/operators.h"
#include "syntax/grammar.h"
#include "syntax/listing.h"
#include "syntax/symbol_names.h"

#define VORLAN_BUILTIN_NAME(name) u## #name,
const char16_t *const BuiltinNames[SYM_COUNT] = {VORLAN_BUILTIN_SYMBOLS(VORLAN_BUILTIN_NAME)};
#undef VORLAN_BUILTIN_NAME

namespace {

struct PlainEntry {
    BuiltinSymbol symbol;
    uint64_t attributes;
};

struct MessageEntry {
    BuiltinSymbol symbol;
    const char16_t *tag;
    const char16_t *text;
};

// Plain symbols: heads, option names and markers.
const PlainEntry kPlain[] = {
    {SYM_All, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Alternatives, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Any, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_AnyNullSequence, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_AnySequence, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_BinaryFormat, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Complex, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Condition, ATTR_HOLD_ALL | ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_DigitBase, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_DirectedInfinity, 0},
    {SYM_E, ATTR_LOCKED | ATTR_PROTECTED | ATTR_NUMERIC_CONSTANT},
    {SYM_Endianness, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_EulerMascheroni, ATTR_LOCKED | ATTR_PROTECTED | ATTR_NUMERIC_CONSTANT},
    {SYM_False, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Flat, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_GoldenRatio, ATTR_LOCKED | ATTR_PROTECTED | ATTR_NUMERIC_CONSTANT},
    {SYM_GoldenAngle, ATTR_LOCKED | ATTR_PROTECTED | ATTR_NUMERIC_CONSTANT},
    {SYM_Hold, ATTR_HOLD_ALL | ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_HoldAll, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_HoldFirst, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_HoldRest, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Indeterminate, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Integer, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_InternalForm, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Kernel, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_List, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Listable, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Locked, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_MachinePrecision, ATTR_LOCKED | ATTR_PROTECTED | ATTR_NUMERIC_CONSTANT},
    {SYM_None, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Null, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_NumericFunction, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_NumericConstant, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_OneIdentity, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Optional, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Options, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Orderless, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Pattern, ATTR_LOCKED | ATTR_PROTECTED | ATTR_HOLD_FIRST},
    {SYM_Pi, ATTR_LOCKED | ATTR_PROTECTED | ATTR_NUMERIC_CONSTANT},
    {SYM_Power, 0},
    {SYM_Protected, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Rational, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Rationalize, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Real, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Rule, ATTR_LOCKED | ATTR_PROTECTED | ATTR_SEQUENCE_HOLD},
    {SYM_RuleDelayed, ATTR_LOCKED | ATTR_PROTECTED | ATTR_HOLD_REST | ATTR_SEQUENCE_HOLD},
    {SYM_Sequence, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_SequenceHold, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Slot, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Span, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_String, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Symbol, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Temporary, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Times, 0},
    {SYM_True, ATTR_LOCKED | ATTR_PROTECTED},
};

// Functions, with their final attributes.
const PlainEntry kFunctions[] = {
    {SYM_Abs, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Accuracy, ATTR_PROTECTED},
    {SYM_And, ATTR_HOLD_ALL | ATTR_FLAT | ATTR_PROTECTED},
    {SYM_Apply, ATTR_PROTECTED},
    {SYM_ArcCos, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_ArcSin, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_ArcTan, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_ArCosh, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_ArSinh, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_ArTanh, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Arg, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Attributes, ATTR_HOLD_ALL | ATTR_PROTECTED},
    {SYM_Bernoulli, ATTR_PROTECTED | ATTR_LISTABLE},
    {SYM_Binomial, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Boole, ATTR_PROTECTED | ATTR_LISTABLE},
    {SYM_Calculate, ATTR_PROTECTED},
    {SYM_Ceil, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Clear, ATTR_LOCKED | ATTR_PROTECTED | ATTR_HOLD_FIRST},
    {SYM_ClearAttributes, ATTR_PROTECTED | ATTR_HOLD_FIRST},
    {SYM_Complement, ATTR_PROTECTED},
    {SYM_Compound, ATTR_PROTECTED},
    {SYM_Conjugate, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Contain, ATTR_PROTECTED},
    {SYM_Cos, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Cosh, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Count, ATTR_PROTECTED},
    {SYM_Depth, ATTR_PROTECTED},
    {SYM_Define, ATTR_LOCKED | ATTR_PROTECTED | ATTR_HOLD_FIRST | ATTR_SEQUENCE_HOLD},
    {SYM_DefineDelayed, ATTR_HOLD_ALL | ATTR_LOCKED | ATTR_PROTECTED | ATTR_SEQUENCE_HOLD},
    {SYM_Definitions, ATTR_HOLD_ALL | ATTR_PROTECTED},
    {SYM_Denominator, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_DirectedInfinity, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Divide, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Equal, ATTR_PROTECTED},
    {SYM_Exp, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Expand, ATTR_PROTECTED | ATTR_LISTABLE},
    {SYM_Factorial, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Fibonacci, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Flatten, ATTR_PROTECTED},
    {SYM_Floor, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Function, ATTR_HOLD_ALL | ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Greater, ATTR_PROTECTED},
    {SYM_GreaterEqual, ATTR_PROTECTED},
    {SYM_GreatestCommonDivisor, ATTR_FLAT | ATTR_NUMERIC_FUNCTION | ATTR_ORDERLESS | ATTR_ONE_IDENTITY | ATTR_LISTABLE},
    {SYM_GCD, ATTR_FLAT | ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_ORDERLESS | ATTR_ONE_IDENTITY | ATTR_LISTABLE},
    {SYM_Head, ATTR_PROTECTED},
    {SYM_If, ATTR_PROTECTED | ATTR_HOLD_REST},
    {SYM_Im, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Intersection, ATTR_FLAT | ATTR_PROTECTED},
    {SYM_IsEven, ATTR_PROTECTED | ATTR_LISTABLE},
    {SYM_IsNumeric, ATTR_PROTECTED},
    {SYM_IsOdd, ATTR_PROTECTED | ATTR_LISTABLE},
    {SYM_IsPrime, ATTR_PROTECTED | ATTR_LISTABLE},
    {SYM_Iterate, ATTR_HOLD_ALL | ATTR_PROTECTED},
    {SYM_Join, ATTR_FLAT | ATTR_PROTECTED | ATTR_ONE_IDENTITY},
    {SYM_Length, ATTR_PROTECTED},
    {SYM_Less, ATTR_PROTECTED},
    {SYM_LessEqual, ATTR_PROTECTED},
    {SYM_Log, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Map, ATTR_PROTECTED},
    {SYM_Matching, ATTR_PROTECTED},
    {SYM_Max, ATTR_PROTECTED},
    {SYM_Min, ATTR_PROTECTED},
    {SYM_Minus, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Mod, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Nest, ATTR_PROTECTED},
    {SYM_Not, ATTR_PROTECTED},
    {SYM_Numerator, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Or, ATTR_HOLD_ALL | ATTR_PROTECTED},
    {SYM_Order, ATTR_PROTECTED},
    {SYM_Output, ATTR_LOCKED | ATTR_PROTECTED | ATTR_SEQUENCE_HOLD},
    {SYM_Part, ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_Partition, ATTR_PROTECTED},
    {SYM_Plus, ATTR_FLAT | ATTR_LOCKED | ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_ORDERLESS | ATTR_ONE_IDENTITY | ATTR_LISTABLE},
    {SYM_Power, ATTR_LOCKED | ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Precision, ATTR_PROTECTED},
    {SYM_Print, ATTR_PROTECTED},
    {SYM_Re, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Random, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION},
    {SYM_Replace, ATTR_PROTECTED},
    {SYM_Round, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Same, ATTR_PROTECTED},
    {SYM_Select, ATTR_PROTECTED},
    {SYM_Scope, ATTR_HOLD_ALL | ATTR_LOCKED | ATTR_PROTECTED},
    {SYM_SetAttributes, ATTR_PROTECTED | ATTR_HOLD_FIRST},
    {SYM_ShiftLeft, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION},
    {SYM_ShiftRight, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION},
    {SYM_Sign, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Sin, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Sinh, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Sort, ATTR_PROTECTED},
    {SYM_Split, ATTR_PROTECTED},
    {SYM_Sqrt, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_SubDefine, ATTR_LOCKED | ATTR_PROTECTED | ATTR_HOLD_FIRST | ATTR_SEQUENCE_HOLD},
    {SYM_SubDefineDelayed, ATTR_HOLD_ALL | ATTR_LOCKED | ATTR_PROTECTED | ATTR_SEQUENCE_HOLD},
    {SYM_Subtract, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Symbols, ATTR_PROTECTED},
    {SYM_Tan, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Tanh, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Times, ATTR_FLAT | ATTR_LOCKED | ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_ORDERLESS | ATTR_ONE_IDENTITY | ATTR_LISTABLE},
    {SYM_ToInteger, ATTR_PROTECTED},
    {SYM_ToReal, ATTR_PROTECTED},
    {SYM_ToString, ATTR_PROTECTED},
    {SYM_ToSymbol, ATTR_PROTECTED},
    {SYM_Trunc, ATTR_PROTECTED | ATTR_NUMERIC_FUNCTION | ATTR_LISTABLE},
    {SYM_Unequal, ATTR_PROTECTED},
    {SYM_Unsame, ATTR_PROTECTED},
    {SYM_Union, ATTR_FLAT | ATTR_PROTECTED},
    {SYM_Xor, ATTR_PROTECTED},
};

// Message templates; the first four are registered before the constants,
// the others with the functions.
const MessageEntry kMessages[] = {
    {SYM_Options, u"Unknown", u"Option %1 is unknown."},
    {SYM_Integer, u"Overflow", u"Integer overflow during computation with integers detected."},
    {SYM_Kernel, u"RecursionLimit", u"Recursion depth of %1 exceeded."},
    {SYM_Kernel, u"ExpressionLengthLimit", u"Expression length of %1 exceeded."},
    {SYM_Attributes, u"Undefined", u"Symbol %1 is not defined."},
    {SYM_Calculate, u"ExtraPrecisionLimit", u"Internal extra precision limit (%1) reached during %2."},
    {SYM_Ceil, u"ExtraPrecisionLimit", u"Internal extra precision limit (%1) reached during evaluation."},
    {SYM_Clear, u"Protected", u"%1 is protected!"},
    {SYM_Clear, u"Symbol", u"Only symbols can be cleared!"},
    {SYM_Attributes, u"Locked", u"%1 is locked!"},
    {SYM_Attributes, u"Attribute", u"%1 is an unknown attribute."},
    {SYM_Complement, u"Head", u"First argument %1 have to be an expression."},
    {SYM_Complement, u"Heads", u"Heads %1 and %2 are not the same."},
    {SYM_Define, u"Protected", u"%1 is protected!"},
    {SYM_Define, u"Atomic", u"Cannot assign to an atomic object!"},
    {SYM_Define, u"List", u"Unequal length of assigned lists."},
    {SYM_DefineDelayed, u"Protected", u"%1 is protected!"},
    {SYM_DefineDelayed, u"Atomic", u"Cannot assign to an atomic object!"},
    {SYM_DefineDelayed, u"List", u"Unequal length of assigned lists."},
    {SYM_Flatten, u"Depth", u"The depth specification %1 is expected to be a non-negative integer number or Infinity."},
    {SYM_Floor, u"ExtraPrecisionLimit", u"Internal extra precision limit (%1) reached during evaluation."},
    {SYM_Function, u"Slot", u"Slot number %1 cannot be filled."},
    {SYM_Intersection, u"Head", u"First argument %1 have to be an expression."},
    {SYM_Intersection, u"Heads", u"Heads %1 and %2 are not the same."},
    {SYM_Iterate, u"Iteration", u"%1 is an invalid iteration specification."},
    {SYM_Join, u"Heads", u"Heads %1 and %2 are not the same."},
    {SYM_Part, u"Position", u"Part %1 of %2 does not exist."},
    {SYM_Part, u"Invalid", u"%1 is an invalid part specification."},
    {SYM_Part, u"Depth", u"Part specification %1 is longer than depth of object."},
    {SYM_Partition, u"Length", u"Length of partition (%1) have to be a positiv integer."},
    {SYM_Random, u"Count", u"Second argument %1 is expected to be a positive integer."},
    {SYM_Round, u"ExtraPrecisionLimit", u"Internal extra precision limit (%1) reached during evaluation."},
    {SYM_SubDefine, u"Protected", u"%1 is protected!"},
    {SYM_SubDefine, u"Atomic", u"Cannot assign to an atomic object!"},
    {SYM_SubDefine, u"Symbol", u"SubDefine cannot assign to a symbol!"},
    {SYM_SubDefine, u"List", u"Unequal length of assigned lists."},
    {SYM_SubDefineDelayed, u"Protected", u"%1 is protected!"},
    {SYM_SubDefineDelayed, u"Atomic", u"Cannot assign to an atomic object!"},
    {SYM_SubDefineDelayed, u"Symbol", u"SubDefineDelayed cannot assign to a symbol!"},
    {SYM_SubDefineDelayed, u"List", u"Unequal length of assigned lists."},
    {SYM_ToInteger, u"DigitBase", u"Specified digit base %1 should be an integer between 2 and 36."},
    {SYM_ToInteger, u"BinaryFormat", u"Invalid binary format: %1"},
    {SYM_ToInteger, u"StringLength", u"Insuficient length of %2 to represent the specified format %1."},
    {SYM_ToInteger, u"Endianness", u"Specified endianness %1 have to be either -1 (little-endian) or 1 (big-endian)."},
    {SYM_ToInteger, u"ExtraPrecisionLimit", u"Internal extra precision limit (%1) reached during calculation."},
    {SYM_ToInteger, u"Precision", u"Insufficient precision of %1 could lead to inaccurate integer digits."},
    {SYM_ToReal, u"DigitBase", u"Specified digit base %1 should be an integer between 2 and 36."},
    {SYM_ToReal, u"BinaryFormat", u"Invalid binary format: %1."},
    {SYM_ToReal, u"StringLength", u"Insuficient length of %2 to represent the specified format %1."},
    {SYM_ToString, u"DigitBase", u"Specified digit base %1 should be an integer between 2 and 36."},
    {SYM_ToString, u"BinaryFormat", u"Invalid binary format: %1."},
    {SYM_ToString, u"InsufficientBinaryFormat", u"Specified format %1 is insufficient to represent the whole number %2 or its precision."},
    // ToString complains about an unusable Endianness in ToInteger's words,
    // so that the failure does not pass unseen.
    {SYM_ToString, u"Endianness", u"Specified endianness %1 have to be either -1 (little-endian) or 1 (big-endian)."},
    {SYM_ToSymbol, u"Name", u"%1 contains invalid characters for a symbol name."},
    {SYM_Trunc, u"ExtraPrecisionLimit", u"Internal extra precision limit (%1) reached during evaluation."},
    {SYM_Union, u"Head", u"First argument %1 have to be an expression."},
    {SYM_Union, u"Heads", u"Heads %1 and %2 are not the same."},
};
constexpr size_t kEarlyMessages = 4;

// The symbols whose values are the constants of the same names.
constexpr uint64_t kValueAttributes = ATTR_LOCKED | ATTR_PROTECTED;
const BuiltinSymbol kValueSymbols[] = {
    SYM_I, SYM_Infinity, SYM_ComplexInfinity, SYM_Overflow, SYM_Underflow, SYM_ComplexOverflow, SYM_ComplexUnderflow,
};


// The tables of natives, one per module that implements built-ins.
const NativeTable *const kModuleNatives[] = {
    &ArithNatives,   &AttributeNatives, &ControlNatives, &DefinitionNatives, &IsNumericNatives, &ListNatives,
    &NumericNatives, &PatternNatives,   &PowerNatives,   &PrintNatives,      &RealNatives,      &RelationNatives,
    &ReplaceNatives, &RoundingNatives, &SetNatives, &ElementaryNatives, &ExpandNatives, &NumberTheoryNatives,
    &BinaryFormatNatives, &RandomNatives, &ListingNatives, &SymbolNameNatives,
};

// The tables of output formatters.
const FormatterTable *const kModuleFormatters[] = {&OperatorFormatters, &PrintFormatters};

// What each built-in gets from the module tables, by symbol: its row of
// natives and its output formatter, each null when it has none.
struct ModuleIndex {
    std::array<const NativeRow *, SYM_COUNT> natives;
    std::array<OutputFormatter, SYM_COUNT> formatters;
};

void IndexModules(ModuleIndex &index) {
    index.natives.fill(nullptr);
    index.formatters.fill(nullptr);
    for (const NativeTable *table : kModuleNatives)
        for (size_t i = 0; i < table->count; ++i) index.natives[table->rows[i].symbol] = &table->rows[i];
    for (const FormatterTable *table : kModuleFormatters)
        for (size_t i = 0; i < table->count; ++i) index.formatters[table->rows[i].symbol] = table->rows[i].formatter;
}

// The head symbol of the atoms of each type id.
const struct {
    TypeId type;
    BuiltinSymbol symbol;
} kHeads[] = {
    {TYPE_SYMBOL, SYM_Symbol},   {TYPE_INTEGER, SYM_Integer}, {TYPE_REAL, SYM_Real},
    {TYPE_RATIONAL, SYM_Rational}, {TYPE_COMPLEX, SYM_Complex}, {TYPE_STRING, SYM_String},
};

// Interns a built-in symbol (the kernel state keeps one reference to it).
Object *Intern(BuiltinSymbol id) {
    Object *&slot = kernel.builtins[id];
    if (!slot) slot = Symbol_Intern(BuiltinNames[id]);
    return slot;
}

// A symbol without implementation: its attributes and output formatter.
void RegisterPlain(BuiltinSymbol id, uint64_t attributes, const ModuleIndex &index) {
    Symbol_Define(Object_AddRef(Intern(id)), attributes, nullptr, index.formatters[id]);
}

// A function: each registered pattern receives the native implementation.
// Protected comes with the last registration only, since a Protected symbol
// refuses definitions.
void RegisterFunction(BuiltinSymbol id, uint64_t attributes, const ModuleIndex &index) {
    Intern(id);
    const NativeRow *row = index.natives[id];
    if (!row) {
        RegisterPlain(id, attributes, index);
        return;
    }
    size_t count = row->patterns[1] ? 2 : 1;
    for (size_t i = 0; i < count; ++i) {
        uint64_t flags = i + 1 == count ? attributes : attributes & ~ATTR_PROTECTED;
        Object *pattern = Parser_ParseText(row->patterns[i]);
        Symbol_DefineNative(pattern, flags, row->native, index.formatters[id]);
    }
}

void RegisterMessages(size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        Symbol_AddMessage(kernel.builtins[kMessages[i].symbol], kMessages[i].tag, kMessages[i].text);
}

void BuildConstants() {
    KernelConstants &c = kernel.constants;
    const int64_t integers[] = {-1, 0, 1, 2, 3, 4, 5, 6, 10};
    for (size_t i = 0; i < std::size(integers); ++i) c.integers[i] = Integer_FromSmall(integers[i]);
    const int64_t rationals[][2] = {{-1, 2}, {1, 2}, {1, 3}, {1, 4}, {1, 6}};
    for (size_t i = 0; i < std::size(rationals); ++i)
        c.rationals[i] = Rational_Make(Integer_FromSmall(rationals[i][0]), Integer_FromSmall(rationals[i][1]));
    const double reals[] = {0.0, -1.0, 1.0, M_PI, M_PI / 2, -M_PI / 2};
    for (size_t i = 0; i < std::size(reals); ++i) c.reals[i] = Real_FromDouble(reals[i]);
    c.overflow = Real_NewSaturated(SUB_OVERFLOW, 1);
    c.underflow = Real_NewSaturated(SUB_UNDERFLOW, 1);
    c.negativeOverflow = Real_NewSaturated(SUB_OVERFLOW, -1);
    c.negativeUnderflow = Real_NewSaturated(SUB_UNDERFLOW, -1);
    c.imaginaryUnit = Complex_Make(Integer_FromSmall(0), Integer_FromSmall(1));
    c.complexOverflow = Complex_NewSaturated(SUB_OVERFLOW);
    c.complexUnderflow = Complex_NewSaturated(SUB_UNDERFLOW);
    c.complexOne = Complex_Make(Real_FromDouble(1.0), Real_FromDouble(0.0));
    c.emptyText = String_New(nullptr, 0, SUB_UTF8);
    c.emptySequence = Expression_NewEvaluated(Object_AddRef(Intern(SYM_Sequence)));
    c.emptyList = Expression_NewEvaluated(Object_AddRef(Intern(SYM_List)));
    Object *directed = Intern(SYM_DirectedInfinity);
    c.infinity = Expression_NewEvaluated(Object_AddRef(directed), Integer_FromSmall(1));
    c.negativeInfinity = Expression_NewEvaluated(Object_AddRef(directed), Integer_FromSmall(-1));
    c.complexInfinity = Expression_NewEvaluated(Object_AddRef(directed));
    Object *power = Intern(SYM_Power), *times = Intern(SYM_Times), *pi = Intern(SYM_Pi);
    Object *half = c.rationals[RAT_HALF], *minusHalf = c.rationals[RAT_MINUS_HALF];
    c.sqrt3 = Expression_NewEvaluated(Object_AddRef(power), Integer_FromSmall(3), Object_AddRef(half));
    c.halfSqrt3 = Expression_NewEvaluated(Object_AddRef(times), Object_AddRef(half), Object_AddRef(c.sqrt3));
    c.inverseSqrt3 = Expression_NewEvaluated(Object_AddRef(power), Integer_FromSmall(3), Object_AddRef(minusHalf));
    c.inverseSqrt2 = Expression_NewEvaluated(Object_AddRef(power), Integer_FromSmall(2), Object_AddRef(minusHalf));
    c.piMultiples[0] = Expression_NewEvaluated(Object_AddRef(times), Integer_FromSmall(2), Object_AddRef(pi));
    const ConstantRational fractions[] = {RAT_HALF, RAT_THIRD, RAT_QUARTER, RAT_SIXTH};
    for (size_t i = 0; i < std::size(fractions); ++i)
        c.piMultiples[i + 1] =
            Expression_NewEvaluated(Object_AddRef(times), Object_AddRef(c.rationals[fractions[i]]), Object_AddRef(pi));
}

// The value of a value symbol.
Object *ValueOf(BuiltinSymbol id) {
    KernelConstants &c = kernel.constants;
    switch (id) {
    case SYM_I: return c.imaginaryUnit;
    case SYM_Infinity: return c.infinity;
    case SYM_ComplexInfinity: return c.complexInfinity;
    case SYM_Overflow: return c.overflow;
    case SYM_Underflow: return c.underflow;
    case SYM_ComplexOverflow: return c.complexOverflow;
    default: return c.complexUnderflow;
    }
}

}  // namespace

void Registry_Run() {
    ModuleIndex index;
    IndexModules(index);
    for (const PlainEntry &row : kPlain) RegisterPlain(row.symbol, row.attributes, index);
    for (const auto &head : kHeads) kernel.headSymbols[head.type] = kernel.builtins[head.symbol];
    RegisterMessages(0, kEarlyMessages);
    BuildConstants();
    for (BuiltinSymbol id : kValueSymbols) {
        Symbol_Define(Object_AddRef(Intern(id)), kValueAttributes | DEF_VALUE, Object_AddRef(ValueOf(id)), nullptr);
    }
    for (const PlainEntry &row : kFunctions) RegisterFunction(row.symbol, row.attributes, index);
    RegisterMessages(kEarlyMessages, std::size(kMessages));
    Attributes_FillTable();
    kernel.generation = 1;
}
