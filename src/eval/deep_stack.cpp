// The switch uses ucontext: the kernel stays single-threaded, and the host's
// thread simply continues on another stack for the duration of the call.
// AddressSanitizer is told about each switch, so that it tracks the right
// stack bounds.
#include "eval/deep_stack.h"

#include <sys/mman.h>
#include <ucontext.h>

#include <cstddef>
#include <new>

#include "kernel/state.h"
#include "object/sanitizer.h"

#ifdef VORLAN_ASAN
#include <sanitizer/common_interface_defs.h>
#define DEEP_STACK_ASAN 1
#endif

namespace {

// Address space reserved for the stack; a guard page below it turns an
// overflow into a fault instead of silent corruption.
constexpr size_t kStackBytes = size_t(2) << 30;
constexpr size_t kGuardBytes = 1 << 16;

struct DeepStack {
    unsigned char *base;  // start of the mapping, guard page first
    bool active;
    ucontext_t caller;
    ucontext_t callee;
    Object *(*fn)(Object *);
    Object *arg;
    Object *result;
    bool failed;  // fn threw; the throw is repeated on the caller's stack
#ifdef DEEP_STACK_ASAN
    void *fakeStack;
    const void *callerBottom;
    size_t callerSize;
#endif
};

DeepStack *Stack() {
    auto *s = static_cast<DeepStack *>(kernel.eval.deepStack);
    if (s) return s;
    void *base = mmap(nullptr, kStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    mprotect(base, kGuardBytes, PROT_NONE);
    s = new DeepStack{};
    s->base = static_cast<unsigned char *>(base);
    kernel.eval.deepStack = s;
    return s;
}

// An exception cannot unwind past the trampoline: nothing above it on this
// stack leads back to the caller. It is caught here and thrown again once
// the caller's stack is back.
[[gnu::noinline]] void RunGuarded(DeepStack *s) {
    try {
        s->result = s->fn(s->arg);
    } catch (...) {
        s->failed = true;
    }
}

void Trampoline() {
    auto *s = static_cast<DeepStack *>(kernel.eval.deepStack);
#ifdef DEEP_STACK_ASAN
    __sanitizer_finish_switch_fiber(nullptr, &s->callerBottom, &s->callerSize);
#endif
    RunGuarded(s);
#ifdef DEEP_STACK_ASAN
    // This fiber ends here; control returns to the caller through uc_link.
    __sanitizer_start_switch_fiber(nullptr, s->callerBottom, s->callerSize);
#endif
}

// Runs the trampoline on the deep stack and comes back. Kept apart from
// DeepStack_Run because getcontext returns twice: no local of the caller may
// live across it.
[[gnu::noinline]] void Switch(DeepStack *s) {
    getcontext(&s->callee);
    s->callee.uc_stack.ss_sp = s->base + kGuardBytes;
    s->callee.uc_stack.ss_size = kStackBytes - kGuardBytes;
    s->callee.uc_link = &s->caller;
    makecontext(&s->callee, Trampoline, 0);
    s->active = true;
#ifdef DEEP_STACK_ASAN
    __sanitizer_start_switch_fiber(&s->fakeStack, s->base + kGuardBytes, kStackBytes - kGuardBytes);
#endif
    swapcontext(&s->caller, &s->callee);
#ifdef DEEP_STACK_ASAN
    __sanitizer_finish_switch_fiber(s->fakeStack, nullptr, nullptr);
#endif
    s->active = false;
}

}  // namespace

Object *DeepStack_Run(Object *(*fn)(Object *), Object *arg) {
    DeepStack *s = Stack();
    if (!s || s->active) return fn(arg);
    s->fn = fn;
    s->arg = arg;
    s->result = nullptr;
    s->failed = false;
    Switch(s);
    if (s->failed) throw std::bad_alloc();
    return s->result;
}

void DeepStack_Destroy() {
    auto *s = static_cast<DeepStack *>(kernel.eval.deepStack);
    if (!s) return;
    munmap(s->base, kStackBytes);
    delete s;
    kernel.eval.deepStack = nullptr;
}
