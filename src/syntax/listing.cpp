#include "syntax/listing.h"

#include <string>
#include <vector>

#include "eval/definition.h"
#include "kernel/state.h"
#include "object/expression.h"
#include "object/symbol.h"
#include "syntax/formatter.h"

namespace {

constexpr char16_t kNoDefinitions[] = u"/* no definitions */";
constexpr char16_t kBuiltinComment[] = u"  /* built-in function */";

// The assignment that makes an entry of these flags.
const char16_t *OperatorText(uint64_t flags) {
    if (flags & DEF_SUB) return (flags & DEF_DELAYED) ? u" @:= " : u" @= ";
    return (flags & DEF_DELAYED) ? u" := " : u" = ";
}

// The precedence of an operand of an assignment: looser than every
// operator's layout, so none of them needs parentheses here, yet not the
// top level, where Output would spread its arguments over lines of their
// own and the line would no longer read back.
constexpr int64_t kOperandPrecedence = 1;

// The standard form of o written as one side of an assignment. Borrows o.
std::u16string SideText(Object *o) {
    std::u16string text;
    if (!Form_Push(FORM_STANDARD)) return Format_CutMarker;
    if (Context_Push(kOperandPrecedence, 0, CTX_STRICT | CTX_MAGNITUDE | CTX_DENOMINATOR)) {
        Format_Append(o, text);
        Context_Pop();
    } else {
        text += Format_CutMarker;
    }
    Form_Pop();
    return text;
}

// Appends the line of entry e to lines: the assignment for a right side,
// the left side with a comment for a native, nothing for an entry that
// holds neither. Borrows e.
void AddLine(const DefinitionEntry *e, std::vector<std::u16string> &lines) {
    if (e->right) lines.push_back(SideText(e->left) + OperatorText(e->flags) + SideText(e->right));
    else if (e->native) lines.push_back(SideText(e->left) + kBuiltinComment);
}

}  // namespace

// Every line is formatted before the first is printed, so that when memory
// runs out midway the host sees none of the listing rather than a part
// that looks whole.
Object *Builtin_Definitions(Object *call) {
    if (Expression_Length(call) != 1 || !Object_IsSymbol(Expression_At(call, 1))) return call;
    if (auto print = kernel.callbacks.print) {
        std::vector<std::u16string> lines;
        if (SymbolRecord *r = AsSymbol(Expression_At(call, 1))->record) {
            if (r->ownValue) AddLine(r->ownValue, lines);
            for (const DefinitionEntry *e : Definitions_InTrialOrder(r)) AddLine(e, lines);
        }
        if (lines.empty()) lines.emplace_back(kNoDefinitions);
        for (const std::u16string &line : lines) print(line.c_str());
    }
    return Object_ReleaseReturn(call, Builtin(SYM_Null));
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Definitions, {u"Definitions(\?Symbol)"}, Builtin_Definitions},
};

}  // namespace

extern const NativeTable ListingNatives = Table_Of(kNatives);
