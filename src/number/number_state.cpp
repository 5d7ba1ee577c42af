#include "number/number_state.h"

#include "number/integer.h"

void NumberState_Init(NumberState &numbers) {
    Pool_Init(&numbers.integers, "Integer", sizeof(Integer), nullptr);
}

void NumberState_Clear(NumberState &numbers) {
    Pool_Clear(&numbers.integers);
}

void NumberState_Destroy(NumberState &numbers) {
    Pool_Destroy(&numbers.integers);
}
