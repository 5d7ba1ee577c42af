// The kernel stays single-threaded: the host's thread simply continues on
// another stack for the duration of the call. Entering that stack is a call
// through a few instructions of assembly that move the stack pointer, not a
// saved machine context: a context library also saves and restores the
// signal mask, which is a system call each way and costs more than the
// evaluation of a simple input. AddressSanitizer is told about each switch,
// so that it tracks the right stack bounds.
#include "eval/deep_stack.h"

#include <exception>
#include <utility>

#include <sys/mman.h>

#include <cstddef>
#include <new>

#include "kernel/state.h"
#include "object/sanitizer.h"

#ifdef VORLAN_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

#if !defined(__x86_64__)
#error "the evaluation stack switch is written for x86-64"
#endif

namespace {

// Address space reserved for the stack; a guard page below it turns an
// overflow into a fault instead of silent corruption.
constexpr size_t kStackBytes = size_t(2) << 30;
constexpr size_t kGuardBytes = 1 << 16;

struct DeepStack {
    unsigned char *base;  // start of the mapping, guard page first
    bool active;
    Object *(*fn)(Object *);
    Object *arg;
    Object *result;
    std::exception_ptr thrown;  // what fn threw, thrown again on the caller's stack
#ifdef VORLAN_ASAN
    void *fakeStack;
    const void *callerBottom;
    size_t callerSize;
#endif
};

}  // namespace

// Calls entry(arg) with the stack pointer at top and comes back to the
// caller's stack when it returns.
//
// Since entry returns like any function, the ABI already has it preserve
// r12-r15; the routine saves only what it changes itself: rbx, which holds
// the caller's stack pointer across the call, and rbp, which it clears so
// that a frame-pointer walk (perf) ends at entry. It also saves the x87
// control word and MXCSR and puts them back afterwards, so that a rounding
// mode or exception mask set during evaluation, or left behind by an
// evaluation abandoned for lack of memory, never reaches the host.
//
// The unwind table marks the return address into this routine undefined
// while on the new stack: an unwinder (a throw, gdb, perf's DWARF mode)
// stops at entry's frame instead of walking into the caller's stack from a
// frame whose stack it does not know. The return comes back through the
// same call instruction, so shadow stacks see a matched call and return.
extern "C" __attribute__((visibility("hidden"))) void DeepStack_CallOn(void *top, void (*entry)(void *), void *arg);

// Under control-flow protection the compiler marks the object as having a
// landing pad at every function entry; the routine keeps that promise.
#if defined(__CET__) && (__CET__ & 1)
#define DEEP_STACK_BRANCH_TARGET "endbr64\n"
#else
#define DEEP_STACK_BRANCH_TARGET ""
#endif

asm(R"(
    .pushsection .text
    .p2align 4
    .globl DeepStack_CallOn
    .hidden DeepStack_CallOn
    .type DeepStack_CallOn, @function
DeepStack_CallOn:
    .cfi_startproc
)" DEEP_STACK_BRANCH_TARGET R"(
    pushq %rbp
    .cfi_adjust_cfa_offset 8
    .cfi_rel_offset %rbp, 0
    pushq %rbx
    .cfi_adjust_cfa_offset 8
    .cfi_rel_offset %rbx, 0
    subq $8, %rsp
    .cfi_adjust_cfa_offset 8
    stmxcsr (%rsp)
    fnstcw 4(%rsp)
    movq %rsp, %rbx
    .cfi_def_cfa_register %rbx
    .cfi_remember_state
    movq %rdi, %rsp
    .cfi_undefined %rip
    xorl %ebp, %ebp
    movq %rdx, %rdi
    callq *%rsi
    .cfi_restore_state
    movq %rbx, %rsp
    .cfi_def_cfa_register %rsp
    ldmxcsr (%rsp)
    fldcw 4(%rsp)
    addq $8, %rsp
    .cfi_adjust_cfa_offset -8
    popq %rbx
    .cfi_adjust_cfa_offset -8
    .cfi_restore %rbx
    popq %rbp
    .cfi_adjust_cfa_offset -8
    .cfi_restore %rbp
    retq
    .cfi_endproc
    .size DeepStack_CallOn, .-DeepStack_CallOn
    .popsection
)");

namespace {

// Reserves the stack on the first top-level evaluation. Kept out of line so
// that the path taken by every other evaluation saves no registers for it.
[[gnu::cold, gnu::noinline]] DeepStack *CreateStack() {
    void *base = mmap(nullptr, kStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    mprotect(base, kGuardBytes, PROT_NONE);
    auto *s = new DeepStack{};
    s->base = static_cast<unsigned char *>(base);
    kernel.eval.deepStack = s;
    return s;
}

DeepStack *Stack() {
    auto *s = static_cast<DeepStack *>(kernel.eval.deepStack);
    return s ? s : CreateStack();
}

// An exception cannot unwind past the stack's first frame: nothing above it
// leads back to the caller. It is caught here and thrown again once the
// caller's stack is back.
void RunGuarded(DeepStack *s) {
    try {
        s->result = s->fn(s->arg);
    } catch (...) {
        s->thrown = std::current_exception();
    }
}

// The first frame on the deep stack.
void Trampoline(void *arg) {
    auto *s = static_cast<DeepStack *>(arg);
#ifdef VORLAN_ASAN
    __sanitizer_finish_switch_fiber(nullptr, &s->callerBottom, &s->callerSize);
#endif
    RunGuarded(s);
#ifdef VORLAN_ASAN
    // The run is over: without a save slot the sanitizer drops its fake
    // frames. Only the return into DeepStack_CallOn is left before the
    // switch back.
    __sanitizer_start_switch_fiber(nullptr, s->callerBottom, s->callerSize);
#endif
}

}  // namespace

Object *DeepStack_Run(Object *(*fn)(Object *), Object *arg) {
    DeepStack *s = Stack();
    if (!s || s->active) return fn(arg);
    s->fn = fn;
    s->arg = arg;
    s->thrown = nullptr;
    s->active = true;
#ifdef VORLAN_ASAN
    __sanitizer_start_switch_fiber(&s->fakeStack, s->base + kGuardBytes, kStackBytes - kGuardBytes);
#endif
    DeepStack_CallOn(s->base + kStackBytes, Trampoline, s);
#ifdef VORLAN_ASAN
    __sanitizer_finish_switch_fiber(s->fakeStack, nullptr, nullptr);
#endif
    s->active = false;
    if (s->thrown) std::rethrow_exception(std::exchange(s->thrown, nullptr));
    return s->result;
}

void DeepStack_Destroy() {
    auto *s = static_cast<DeepStack *>(kernel.eval.deepStack);
    if (!s) return;
    munmap(s->base, kStackBytes);
    delete s;
    kernel.eval.deepStack = nullptr;
}
