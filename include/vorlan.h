/*
 * vorlan.h - the public interface of the Vorlan kernel.
 *
 * A host loads libvorlan.so, calls Kernel_Initialize once, and then exchanges
 * expressions with the kernel through handles and UTF-16 text. A handle is the
 * address of a kernel object as a 64-bit integer; the host owns one reference
 * per handle it receives and gives it back with Kernel_FreeExpression. The
 * kernel does not check handles: every handle passed in must be one this
 * kernel returned since the last Kernel_Initialize or Kernel_Reset, and not
 * yet freed. Handle 0 is refused safely everywhere.
 *
 * Texts in both directions are zero-terminated UTF-16 strings.
 *
 * The kernel is single-threaded: call it from one thread at a time. Callbacks
 * run synchronously inside the call that caused them and must not call back
 * into the kernel. Every text passed to a callback is valid only during the
 * callback.
 *
 * Nothing is thrown across this interface and nothing is logged: a function
 * that cannot do its work returns 0, a null handle or the empty text. That
 * includes running out of memory, after which the definitions and the
 * handles the host already holds stay valid. While the kernel is not
 * initialized (before Kernel_Initialize, after Kernel_Terminate) every
 * function but the lifecycle ones and Kernel_BindCallback refuses and
 * returns its failure value.
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

/* The version of this header and of the library built with it. The build
 * checks that these agree with the project's version. */
#define VORLAN_VERSION_MAJOR 0
#define VORLAN_VERSION_MINOR 4
#define VORLAN_VERSION_PATCH 3
#define VORLAN_VERSION_STRING "0.4.3"

/* ---- Lifecycle ------------------------------------------------------------
 *
 * Kernel_Initialize: returns 1, always. Call it before anything else. It
 *   first does what Kernel_Terminate does (so a second call starts from a
 *   clean kernel, and callbacks 1, 2, 4 and 5 are unbound: bind them after it),
 *   then unpacks the collation tables, writes the default settings, builds
 *   the parser and registers the built-in symbols. Should the set-up run out
 *   of memory the kernel stays uninitialized (the result is still 1) and the
 *   next Kernel_Initialize starts again.
 * Kernel_Terminate: returns 0, always. Unbinds callbacks 1, 2, 4 and 5
 *   (callback 3 stays bound), drops every object and symbol and the parser.
 * Kernel_Reset: returns 0, always. Drops every object, user definition and
 *   attribute change, and registers the built-ins afresh; the settings, the
 *   callbacks, the collation tables and the parser stay. Does nothing while
 *   the kernel is not initialized.
 *   Reset and Terminate invalidate every handle the host still holds, and
 *   every address Kernel_GetValue wrote.
 * Kernel_Version: 0x0000000400030002, version 0.4.3-2 (major, minor, patch
 *   and build, 16 bits each from high to low), initialized or not.
 */
int64_t Kernel_Initialize(void);
int64_t Kernel_Terminate(void);
int64_t Kernel_Reset(void);
int64_t Kernel_Version(void);

/* ---- Expression exchange --------------------------------------------------
 *
 * Kernel_InputExpression: parses the text into an expression, not yet
 *   evaluated, and returns a new handle to it. Returns 0 for a syntax error,
 *   after calling callback 3 once with the error text when it is bound; 0
 *   without a callback for a text without tokens (empty, or only blanks and
 *   comments), and for a null text. Lines end with CR LF; a line comment
 *   runs to one, and a line end is a token, so a text that is nothing but a
 *   line end is a syntax error.
 * Kernel_EvaluateExpression: consumes the handle and returns a new one for
 *   the value; afterwards only the returned handle may be used. The two are
 *   the same when there was nothing to evaluate (a number or a string
 *   evaluates to itself). Returns 0 for handle 0, when the evaluation ran
 *   out of memory, and when the host's abort poll stopped it (callback 5);
 *   the handle passed in is gone then too. Messages arrive through callback
 *   2 and Print output through callback 1 during the call.
 * Kernel_OutputExpression: the expression in the standard output form. The
 *   handle is not consumed. The text belongs to the kernel and stays valid
 *   until the next call into the kernel; copy it to keep it. Handle 0 gives
 *   the empty text.
 * Kernel_DuplicateExpression: adds one reference and returns the same handle;
 *   the host then frees it twice. Handle 0 gives 0.
 * Kernel_FreeExpression: drops one reference; returns 0.
 */
int64_t Kernel_InputExpression(const char16_t *text);
int64_t Kernel_EvaluateExpression(int64_t handle);
const char16_t *Kernel_OutputExpression(int64_t handle);
int64_t Kernel_DuplicateExpression(int64_t handle);
int64_t Kernel_FreeExpression(int64_t handle);

/* ---- Value exchange through symbol names ----------------------------------
 *
 * Type codes, for both directions:
 *   1  signed 64-bit integer        (int64_t)
 *   2  IEEE-754 double              (double)
 *   3  UTF-8 text: bytes and length (a text string)
 *   4  raw bytes and length         (a byte string)
 *
 * Kernel_GetValue(name, code, out1, out2) evaluates the symbol `name`
 * (creating it when absent) and writes its value. The result is the type
 * code of what was written, or 0:
 *   code 1: an integer value is written to *(int64_t *)out1, saturated to
 *     +-(2^63 - 1) when it does not fit; a rational or real value is
 *     converted to a double and rounded to the nearest integer, halves away
 *     from zero, saturated the same way (NaN gives 0). Any other value,
 *     including an unassigned symbol (which evaluates to itself), writes
 *     nothing. The result is 1 in every case, so the host cannot tell from
 *     it whether anything was written: preset *out1, or read the value with
 *     Kernel_InputExpression and Kernel_OutputExpression.
 *   code 2: an integer, rational or real value is written as a double to
 *     *(double *)out1 (an overflowed real gives +-infinity, an underflowed
 *     one 0.0). Any other value writes nothing. The result is 2 in every
 *     case, as for code 1.
 *   code 3: a text string writes the address of its UTF-8 bytes to
 *     *(const void **)out1 and its length in bytes to *out2; result 3. A
 *     byte string writes the same two items; result 4.
 *   code 4: a string of either kind writes its bytes' address and length;
 *     result 4.
 *   Codes 3 and 4 with a value that is no string write nothing; result 0.
 *   The bytes are not zero-terminated, and the empty string may give a null
 *   address with length 0. They belong to the kernel, which keeps the value
 *   alive: the address stays valid until the next Kernel_Reset or
 *   Kernel_Terminate, even when the symbol is assigned again meanwhile.
 *   A null out1 or out2 is skipped. Result 0 for any other code (nothing is
 *   evaluated then), a null name, or a kernel that is not initialized.
 *
 * Kernel_SetValue(name, code, value, length) assigns to the symbol `name`,
 * as the language's immediate assignment does, a value built from:
 *   code 1: the int64_t at value; code 2: the double at value (infinity or
 *   NaN gives an overflowed real); code 3: a text string of the `length`
 *   UTF-8 bytes at value; code 4: a byte string of those bytes. The bytes
 *   are copied; `length` is read only for codes 3 and 4.
 *   The result is 0 in every case. Nothing happens for any other code, a null
 *   value with code 1 or 2 (or with a positive length for codes 3 and 4), a
 *   negative length, a null name, or a kernel that is not initialized. A
 *   protected symbol keeps its old value and the assignment emits the
 *   message Define::Protected through callback 2.
 */
int64_t Kernel_GetValue(const char16_t *name, int64_t code, void *out1, int64_t *out2);
int64_t Kernel_SetValue(const char16_t *name, int64_t code, const void *value, int64_t length);

/* ---- Host callbacks -------------------------------------------------------
 *
 * Kernel_BindCallback(type, function) stores the function for the callback
 * type and returns 0. A new binding replaces the old one; null unbinds. An
 * unknown type is ignored (result 0). Unbound callbacks make their output
 * silent. Every callback runs on the host's thread inside the kernel call
 * that caused it, returns nothing the kernel uses, and must not call back
 * into the kernel; the texts it receives are zero-terminated UTF-16 and
 * valid only until it returns.
 *
 * Type 1, Kernel_TextCallback: printed output. Called by Print once per
 *   argument (a string as its contents, without quotes; Null skipped; any
 *   other value in the standard output form), with nothing in between, and
 *   by Definitions once per line of a listing. Unbound by Kernel_Terminate
 *   and Kernel_Initialize.
 * Type 2, Kernel_MessageCallback: one message, its template already filled
 *   in, with the name of the symbol that owns it and its tag (the message
 *   Part::Position arrives as text, u"Part", u"Position"). Called during
 *   evaluation and assignment, never for a message the kernel raised only
 *   on trial. Unbound by Kernel_Terminate and Kernel_Initialize.
 * Type 3, Kernel_TextCallback: the text of a syntax error, once per
 *   Kernel_InputExpression that fails to parse. Stays bound across
 *   Kernel_Terminate and Kernel_Initialize.
 * Type 4: any pointer; stored and never called. Unbound by Kernel_Terminate
 *   and Kernel_Initialize.
 * Type 5, Kernel_AbortCallback: the abort poll. While a call evaluates, the
 *   kernel calls it at short intervals: once every 2,048 expression
 *   evaluations, and between the large steps of long number computations
 *   (each squaring of a large power, each split of a long decimal text). A
 *   non-zero result stops the evaluation there, and the interrupted call
 *   returns its failure value: a null handle from Kernel_EvaluateExpression,
 *   the empty text from Kernel_OutputExpression, 0 from Kernel_GetValue and
 *   Kernel_SetValue. No message is sent. Every symbol, definition and
 *   attribute stays as the steps completed before the abort left it, and
 *   every handle the host holds stays valid. A host typically returns (and
 *   clears) a flag that its SIGINT handler or another thread sets; the poll
 *   itself must not call into the kernel. Unbound by Kernel_Terminate and
 *   Kernel_Initialize.
 */
typedef void (*Kernel_TextCallback)(const char16_t *text);
typedef void (*Kernel_MessageCallback)(const char16_t *text, const char16_t *symbol, const char16_t *tag);
typedef int64_t (*Kernel_AbortCallback)(void);

int64_t Kernel_BindCallback(int64_t type, void *function);

#ifdef __cplusplus
}
#endif
#endif
