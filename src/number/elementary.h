// The elementary functions Sqrt, Exp, Log, Sin, Cos, Tan, ArcSin, ArcCos,
// ArcTan, Sinh, Cosh, Tanh, ArSinh, ArCosh and ArTanh: exact special
// values and identities for exact arguments, machine values from the math
// library, arbitrary-precision values from the BigFloat kernels, and the
// principal complex values for complex arguments and for real arguments
// outside the real domain.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// e^z and the principal logarithm of an inexact number z (a Real or a
// Complex with an inexact part), for the powers that go through
// exp(y log x). Consume z; return a number, or Indeterminate.
Object *Elementary_Exp(Object *z);
Object *Elementary_Log(Object *z);

extern const NativeTable ElementaryNatives;
