#include "number/number_state.h"

#include "number/integer.h"
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
}

void NumberState_Clear(NumberState &numbers) {
    Pool_Clear(&numbers.bigInts);
    Pool_Clear(&numbers.integers);
    Pool_Clear(&numbers.reals);
}

void NumberState_Destroy(NumberState &numbers) {
    Pool_Destroy(&numbers.bigInts);
    BigInt_Release(&numbers.one);
    BigInt_Release(&numbers.two);
    for (BigInt &s : numbers.scratch) BigInt_Release(&s);
    Pool_Destroy(&numbers.integers);
    Pool_Destroy(&numbers.reals);
}
