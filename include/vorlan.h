/*
 * vorlan.h - the public interface of the Vorlan kernel.
 *
 * A host loads libvorlan.so, calls Kernel_Initialize once, and then exchanges
 * expressions with the kernel through handles and UTF-16 text. A handle is the
 * address of a kernel object as a 64-bit integer; the host owns one reference
 * per handle it receives and gives it back with Kernel_FreeExpression.
 *
 * The kernel is single-threaded: call it from one thread at a time. Callbacks
 * run synchronously inside the call that caused them and must not call back
 * into the kernel. Every text passed to a callback is valid only during the
 * callback.
 */
#ifndef VORLAN_H
#define VORLAN_H

#include <stdint.h>
#ifdef __cplusplus
#include <cstdint>
extern "C" {
#else
#include <uchar.h>
#endif

/* Callback types 1 (printed output) and 3 (syntax error text). */
typedef void (*Kernel_TextCallback)(const char16_t *text);
/* Callback type 2: one message, already filled in, with its symbol and tag. */
typedef void (*Kernel_MessageCallback)(const char16_t *text, const char16_t *symbol, const char16_t *tag);
/* Callback type 5: the abort poll. While an exported call evaluates, the
 * kernel calls it at short intervals (every few thousand evaluation steps,
 * and between the large steps of long number computations); a non-zero
 * result stops the evaluation. The interrupted call then returns its failure
 * value: Kernel_EvaluateExpression and Kernel_InputExpression a null handle,
 * Kernel_OutputExpression the empty text, Kernel_GetValue and
 * Kernel_SetValue 0. Every symbol, definition and attribute stays as the
 * steps completed before the abort left it, and every handle the host holds
 * stays valid. The poll runs on the calling thread and must not call into
 * the kernel; a host typically returns (and clears) a flag that its SIGINT
 * handler or another thread sets. Kernel_Terminate unbinds it. */
typedef int64_t (*Kernel_AbortCallback)(void);

/* Lifecycle. Initialize returns 1, Terminate and Reset return 0; Reset and
 * Terminate invalidate every handle the host still holds. */
int64_t Kernel_Initialize(void);
int64_t Kernel_Terminate(void);
int64_t Kernel_Reset(void);
/* 0x0000000400030002: version 0.4.3-2, 16 bits per field from high to low. */
int64_t Kernel_Version(void);

/* Expression exchange. */
int64_t Kernel_InputExpression(const char16_t *text);
int64_t Kernel_EvaluateExpression(int64_t handle);
const char16_t *Kernel_OutputExpression(int64_t handle);
int64_t Kernel_DuplicateExpression(int64_t handle);
int64_t Kernel_FreeExpression(int64_t handle);

/* Value exchange through symbol names. Type codes: 1 signed 64-bit integer,
 * 2 double, 3 UTF-8 bytes with length, 4 raw bytes with length. */
int64_t Kernel_GetValue(const char16_t *name, int64_t code, void *out1, int64_t *out2);
int64_t Kernel_SetValue(const char16_t *name, int64_t code, const void *value, int64_t length);

/* Binds callback type 1, 2, 3, 4 or 5 (4 is stored but never called); null
 * unbinds; any other type is ignored. Returns 0. */
int64_t Kernel_BindCallback(int64_t type, void *function);

#ifdef __cplusplus
}
#endif
#endif
