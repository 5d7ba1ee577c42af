// The built-in registry: creates every built-in symbol with its attributes,
// output formatter and message templates, the shared constants and the
// attribute table. Kernel_Initialize and Kernel_Reset run it on an empty
// symbol table.
#pragma once

void Registry_Run();
