#pragma once

// The clearing step shared by Kernel_Reset and Kernel_Terminate: empties
// every pool and the symbol table, and zeroes the temporary-symbol and
// definition generation counters.
void Kernel_Clear();
