// The object header, the class record with its operation slots, and the
// dispatch operations through which the rest of the kernel touches objects.
//
// Ownership, in one place because every module follows it:
//  1. Constructors and every function returning an object return a new
//     reference that the caller owns.
//  2. A native implementation receives the call expression as an owned
//     reference and returns an owned result (Object_ReleaseReturn drops the
//     call when it returns something else).
//  3. Compound-expression constructors take over the references handed in.
//  4. evaluate consumes its argument.
//  5. An object is changed in place only through Object_MakeUnique.
//  6. Operations that only inspect two operands take a flags word whereby
//     OBJ_RELEASE_FIRST / OBJ_RELEASE_SECOND release the operands afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

// Data of the library that no other module outside it may see. Marking
// the declarations (not only the definitions) lets every module reach the
// class records and the kernel state directly rather than through the
// table of symbols another library could override.
#define VORLAN_INTERNAL __attribute__((visibility("hidden")))

struct ObjectClass;

struct Object {
    const ObjectClass *cls;
    int64_t refs;
};

// Text buffer of the toText slot. Slots append; Object_ToText clears first,
// so to a caller of the dispatch operation it replaces the content.
using TextBuffer = std::u16string;

// The contract of every built-in implementation: consumes the call
// expression, returns a new reference to the result.
using NativeFunction = Object *(*)(Object *call);

enum TypeId : uint64_t {
    TYPE_EXPRESSION = 0,
    TYPE_SYMBOL = 1,
    TYPE_INTEGER = 2,
    TYPE_REAL = 3,
    TYPE_RATIONAL = 4,
    TYPE_COMPLEX = 5,
    TYPE_STRING = 6,
    TYPE_COUNT = 7,
};

// One numbering for the subtypes of every class.
enum Subtype : uint64_t {
    SUB_PLAIN = 0,
    SUB_SMALL = 1,      // Integer held in 64 bits
    SUB_MACHINE = 2,    // machine Real
    SUB_BIG = 3,        // Integer of any size, Real of arbitrary precision
    SUB_OVERFLOW = 4,
    SUB_UNDERFLOW = 5,
    SUB_BYTES = 6,      // String of one byte per character
    SUB_UTF8 = 7,       // String of UTF-8 text
};

enum : uint64_t {
    OBJ_RELEASE_FIRST = 0x8000,
    OBJ_RELEASE_SECOND = 0x10000,
};

struct ObjectClass {
    uint64_t type;
    uint64_t subtype;
    const char16_t *name;
    Object *(*clone)(Object *o);                           // returns a new object
    Object *(*evaluate)(Object *o, int64_t *options);      // consumes o
    void (*toText)(Object *o, TextBuffer &text);           // appends o's text
    void (*release)(Object *o);                            // drops one reference
    int (*same)(Object *a, Object *b);                     // borrows both
    int (*sign)(Object *o);
    double (*precision)(Object *o, int64_t *machine);
    double (*accuracy)(Object *o);
    int64_t (*precisionAccuracy)(Object *o, double *precision, double *accuracy);
    uint32_t (*hash)(Object *o, uint32_t seed);
};

inline uint64_t Object_Type(const Object *o) { return o->cls->type; }
inline uint64_t Object_Subtype(const Object *o) { return o->cls->subtype; }
inline bool Object_IsAtom(const Object *o) { return o->cls->type != TYPE_EXPRESSION; }

// Adds one reference; returns o.
inline Object *Object_AddRef(Object *o) {
    ++o->refs;
    return o;
}

// Drops one reference; a null object is ignored. Every release slot drops
// one reference and frees the object when none is left, so dropping one of
// several references needs no call.
inline void Object_Release(Object *o) {
    if (!o) return;
    if (o->refs > 1) --o->refs;
    else o->cls->release(o);
}

// Releases a and returns b (ownership of b passes through).
inline Object *Object_ReleaseReturn(Object *a, Object *b) {
    Object_Release(a);
    return b;
}

// Consumes o; returns an object with a reference count of 1 that the caller
// may change: o itself when it was unshared, otherwise a clone.
Object *Object_MakeUnique(Object *o);

// Returns a new object (for symbols, the same symbol with one more reference).
inline Object *Object_Clone(Object *o) { return o->cls->clone(o); }

// Consumes o and returns its value; objects without an evaluate slot pass
// through unchanged.
inline Object *Object_Evaluate(Object *o, int64_t *options = nullptr) {
    return o->cls->evaluate ? o->cls->evaluate(o, options) : o;
}

// Replaces text with o's text in the current output form.
void Object_ToText(Object *o, TextBuffer &text);

// Structural identity; 0 when the type ids differ. Releases a and/or b
// afterwards when the flags ask for it.
int Object_Same(Object *a, Object *b, uint64_t flags = 0);

int Object_Sign(Object *o);
double Object_Precision(Object *o, int64_t *machine = nullptr);
double Object_Accuracy(Object *o);
int64_t Object_PrecisionAccuracy(Object *o, double *precision, double *accuracy);
uint32_t Object_Hash(Object *o, uint32_t seed);

// The precision and accuracy slots of a class that computes both in its
// precisionAccuracy slot, so that the three slots never disagree.
template <int64_t (*Both)(Object *, double *, double *)>
double Slot_Precision(Object *o, int64_t *machine) {
    double p;
    int64_t m = Both(o, &p, nullptr);
    if (machine) *machine = m;
    return p;
}

template <int64_t (*Both)(Object *, double *, double *)>
double Slot_Accuracy(Object *o) {
    double a;
    Both(o, nullptr, &a);
    return a;
}

// A move-only owned reference for locals, so that early returns release.
class Ref {
public:
    Ref() = default;
    explicit Ref(Object *o) : obj_(o) {}
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
    Ref(Ref &&other) noexcept : obj_(other.release()) {}
    Ref &operator=(Ref &&other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~Ref() { Object_Release(obj_); }

    Object *get() const { return obj_; }
    Object *operator->() const { return obj_; }
    explicit operator bool() const { return obj_ != nullptr; }
    // Gives up ownership without releasing.
    Object *release() { return std::exchange(obj_, nullptr); }
    void reset(Object *o = nullptr) { Object_Release(std::exchange(obj_, o)); }

private:
    Object *obj_ = nullptr;
};
