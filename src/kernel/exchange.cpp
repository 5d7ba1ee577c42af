// The exported functions that move expressions across the library boundary.
// Handles are object addresses; the kernel does not check them.
#include <cmath>
#include <limits>

#include "eval/definition.h"
#include "eval/evaluate.h"
#include "number/bigint.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "number/real.h"
#include "object/string.h"
#include "object/symbol.h"
#include "kernel/boundary.h"
#include "kernel/export.h"
#include "kernel/state.h"
#include "syntax/formatter.h"
#include "syntax/grammar.h"
#include "vorlan.h"

namespace {

Object *FromHandle(int64_t handle) { return reinterpret_cast<Object *>(handle); }
int64_t ToHandle(Object *o) { return reinterpret_cast<int64_t>(o); }

// Handle 0 is what a syntax error gives, and every handle is dead while the
// kernel is not initialized; neither may reach the object layer.
bool Usable(int64_t handle) { return handle != 0 && kernel.initialized; }

}  // namespace

// Tokenizes and parses the text; a syntax error gives 0 and its text through
// callback 3 when that is bound. A text without tokens gives 0 silently, and
// so does a text that runs the kernel out of memory.
KERNEL_EXPORT int64_t Kernel_InputExpression(const char16_t *text) {
    if (!text || !kernel.initialized || !kernel.syntax.lexer) return 0;
    return Boundary_Call<int64_t>(0, [&] {
        bool syntaxError = false;
        Object *e = Parser_ParseText(text, &syntaxError);
        if (syntaxError) {
            if (auto report = kernel.callbacks.syntaxError) report(Parser_LastError().c_str());
        }
        return ToHandle(e);
    });
}

// Consumes the handle; 0 when there is nothing to evaluate, the
// evaluation ran out of memory or the host aborted it.
KERNEL_EXPORT int64_t Kernel_EvaluateExpression(int64_t handle) {
    if (!Usable(handle)) return 0;
    return Boundary_Call<int64_t>(0, [&] { return ToHandle(Evaluate_TopLevel(FromHandle(handle))); });
}

KERNEL_EXPORT const char16_t *Kernel_OutputExpression(int64_t handle) {
    static const char16_t kEmpty[] = u"";
    if (!Usable(handle)) return kEmpty;
    return Boundary_Call<const char16_t *>(kEmpty, [&] {
        kernel.lastOutput = Format_Standard(FromHandle(handle));
        return kernel.lastOutput.c_str();
    });
}

KERNEL_EXPORT int64_t Kernel_DuplicateExpression(int64_t handle) {
    if (!Usable(handle)) return 0;
    Object_AddRef(FromHandle(handle));
    return handle;
}

KERNEL_EXPORT int64_t Kernel_FreeExpression(int64_t handle) {
    if (Usable(handle)) Object_Release(FromHandle(handle));
    return 0;
}

namespace {

// Keeps one reference to each value handed to the host, so that addresses
// written for strings stay valid until the next reset; the same object is
// kept only once, so polling an unchanged value does not grow memory.
void KeepForHost(Object *value) {
    if (!kernel.hostValues.insert(value).second) Object_Release(value);
}

int64_t Saturate(double x) {
    if (std::isnan(x)) return 0;
    double r = std::round(x);  // halves away from zero
    if (r >= 9223372036854775807.0) return INT64_MAX;
    if (r <= -9223372036854775807.0) return -INT64_MAX;
    return int64_t(r);
}

// Rationals and reals of every subtype have a double value for the host.
bool IsRationalOrReal(Object *v) { return Object_IsReal(v) || Object_Type(v) == TYPE_RATIONAL; }

// Kernel_GetValue without its checks.
int64_t GetValue(const char16_t *name, int64_t code, void *out1, int64_t *out2) {
    Object *value = Evaluate_TopLevel(Symbol_Intern(name));
    KeepForHost(value);
    switch (code) {
    case 1:
        if (!out1) return 1;
        if (Object_IsInteger(value)) {
            int64_t v = Object_Subtype(value) == SUB_SMALL ? AsInteger(value)->small : BigInt_ToSmall(AsInteger(value)->big);
            if (Object_Subtype(value) != SUB_SMALL && v == INT64_MIN) v = -INT64_MAX;
            *static_cast<int64_t *>(out1) = v;
        } else if (IsRationalOrReal(value)) {
            *static_cast<int64_t *>(out1) = Saturate(Number_ToDouble(value));
        }
        return 1;
    case 2:
        if (out1 && (Object_IsInteger(value) || IsRationalOrReal(value))) *static_cast<double *>(out1) = Number_ToDouble(value);
        return 2;
    default:
        if (!Object_IsString(value)) return 0;
        if (out1) *static_cast<const void **>(out1) = AsString(value)->buffer;
        if (out2) *out2 = AsString(value)->bytes;
        return code == 3 && Object_Subtype(value) == SUB_UTF8 ? 3 : 4;
    }
}

// Kernel_SetValue without its checks.
int64_t SetValue(const char16_t *name, int64_t code, const void *value, int64_t length) {
    Object *o;
    switch (code) {
    case 1:
        if (!value) return 0;
        o = Integer_FromSmall(*static_cast<const int64_t *>(value));
        break;
    case 2: {
        if (!value) return 0;
        double x = *static_cast<const double *>(value);
        o = std::isfinite(x) ? Real_FromDouble(x) : Real_NewSaturated(SUB_OVERFLOW, std::signbit(x) ? -1 : 1);
        break;
    }
    default:
        if (length < 0 || (!value && length > 0)) return 0;
        o = String_New(value, length, code == 3 ? SUB_UTF8 : SUB_BYTES);
    }
    Symbol_Define(Symbol_Intern(name), DEF_VALUE, o, nullptr);
    return 0;
}

}  // namespace

KERNEL_EXPORT int64_t Kernel_GetValue(const char16_t *name, int64_t code, void *out1, int64_t *out2) {
    if (!name || code < 1 || code > 4 || !kernel.initialized) return 0;
    return Boundary_Call<int64_t>(0, [&] { return GetValue(name, code, out1, out2); });
}

KERNEL_EXPORT int64_t Kernel_SetValue(const char16_t *name, int64_t code, const void *value, int64_t length) {
    if (!name || code < 1 || code > 4 || !kernel.initialized) return 0;
    return Boundary_Call<int64_t>(0, [&] { return SetValue(name, code, value, length); });
}
