#include "number/number_state.h"

#include "number/complex.h"
#include "number/integer.h"
#include "number/rational.h"
#include "number/real.h"

void NumberState_Init(NumberState &numbers) {
    Pool_Init(&numbers.bigInts, "BigInt", sizeof(BigInt), BigInt_DropOwned);
    numbers.limbLimit = BIGINT_LIMB_LIMIT;
    numbers.one = {};
    numbers.two = {};
    BigInt_SetSmall(&numbers.one, 1);
    BigInt_SetSmall(&numbers.two, 2);
    for (BigInt &s : numbers.scratch) s = {};
    Pool_Init(&numbers.integers, "Integer", sizeof(Integer), nullptr);
    Pool_Init(&numbers.reals, "Real", sizeof(Real), nullptr);
    Pool_Init(&numbers.bigFloats, "BigFloat", sizeof(BigFloat), BigFloat_DropOwned);
    Pool_Init(&numbers.rationals, "Rational", sizeof(Rational), nullptr);
    Pool_Init(&numbers.complexes, "Complex", sizeof(Complex), nullptr);
    numbers.numeric = {1, 0.0};
    numbers.caches = {};
}

void NumberState_ClearCaches(NumberState &numbers) {
    BigFloat_Release(&numbers.caches.pi);
    BigFloat_Release(&numbers.caches.e);
    BigFloat_Release(&numbers.caches.euler);
    BigFloat_Release(&numbers.caches.ln2);
}

void NumberState_Clear(NumberState &numbers) {
    Pool_Clear(&numbers.bigInts);
    Pool_Clear(&numbers.integers);
    Pool_Clear(&numbers.rationals);
    Pool_Clear(&numbers.reals);
    Pool_Clear(&numbers.bigFloats);
    Pool_Clear(&numbers.complexes);
    NumberState_ClearCaches(numbers);
    numbers.numeric = {1, 0.0};
}

void NumberState_Destroy(NumberState &numbers) {
    Pool_Destroy(&numbers.bigInts);
    BigInt_Release(&numbers.one);
    BigInt_Release(&numbers.two);
    for (BigInt &s : numbers.scratch) BigInt_Release(&s);
    Pool_Destroy(&numbers.integers);
    Pool_Destroy(&numbers.reals);
    Pool_Destroy(&numbers.bigFloats);
    Pool_Destroy(&numbers.rationals);
    Pool_Destroy(&numbers.complexes);
    NumberState_ClearCaches(numbers);
}
