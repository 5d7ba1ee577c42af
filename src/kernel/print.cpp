#include "kernel/print.h"

#include "eval/native_args.h"
#include "kernel/state.h"
#include "object/expression.h"
#include "object/string.h"
#include "syntax/formatter.h"

Object *Builtin_Print(Object *call) {
    int64_t n = Expression_Length(call);
    if (n == 0) return Object_ReleaseReturn(call, Builtin(SYM_Print));
    if (auto print = kernel.callbacks.print) {
        Object *null = BuiltinBorrowed(SYM_Null);
        for (int64_t i = 1; i <= n; ++i) {
            Object *a = Expression_At(call, i);
            if (a == null) continue;
            std::u16string text = Object_IsString(a) ? String_Text(a) : Format_Standard(a);
            print(text.c_str());
        }
    }
    return Object_ReleaseReturn(call, Object_AddRef(Expression_At(call, n)));
}

Object *Builtin_Output(Object *call) {
    Object *null = BuiltinBorrowed(SYM_Null);
    int64_t n = Expression_Length(call), kept = 0;
    Object *last = nullptr;
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(call, i);
        if (a != null) {
            ++kept;
            last = a;
        }
    }
    if (kept == 0) return Object_ReleaseReturn(call, Builtin(SYM_Null));
    if (kept == 1) return Object_ReleaseReturn(call, Object_AddRef(last));
    if (kept == n) return call;
    Object *e = Object_MakeUnique(call);
    Object **elements = AsExpression(e)->elements;
    for (int64_t i = 1; i <= n; ++i) {
        if (elements[i] == null) {
            Object_Release(elements[i]);
            elements[i] = nullptr;
        }
    }
    return Expression_Compact(e);
}

bool Format_Output(Object *e, TextBuffer &text) {
    if (Form_Current() != FORM_STANDARD || !Native_IsCall(e, SYM_Output)) return false;
    if (Context_WouldNeedParens(0)) return false;
    if (!Context_Push(1, 0, 7)) return false;
    for (int64_t i = 1; i <= Expression_Length(e); ++i) {
        if (i > 1) text += u"\r\n";
        Format_Append(Expression_At(e, i), text);
    }
    Context_Pop();
    return true;
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Output, {u"Output(\?\?\?)"}, Builtin_Output},
    {SYM_Print, {u"Print(\?\?\?)"}, Builtin_Print},
};

}  // namespace

extern const NativeTable PrintNatives = Table_Of(kNatives);

namespace {

const FormatterRow kFormatters[] = {
    {SYM_Output, Format_Output},
};

}  // namespace

extern const FormatterTable PrintFormatters = Table_Of(kFormatters);
