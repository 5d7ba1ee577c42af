// A fixture that gives every test a freshly initialized kernel and records
// what reaches the host callbacks.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/state.h"
#include "object/expression.h"
#include "object/string.h"
#include "object/symbol.h"
#include "number/integer.h"
#include "vorlan.h"

struct HostRecord {
    std::vector<std::u16string> printed;
    std::vector<std::u16string> messages;  // "Symbol::Tag: text"
    std::vector<std::u16string> syntaxErrors;
};

HostRecord &Host();
void BindRecordingCallbacks();

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        Kernel_Initialize();
        Host() = HostRecord();
        BindRecordingCallbacks();
    }
    void TearDown() override { Kernel_Terminate(); }

    // Helpers that build objects; each returns a new reference.
    static Object *Sym(const char16_t *name) { return Symbol_Intern(name); }
    static Object *Int(int64_t v) { return Integer_FromSmall(v); }
    static Object *Text(const char *utf8) { return String_New(utf8, int64_t(std::char_traits<char>::length(utf8)), SUB_UTF8); }
    // Parses and evaluates text through the public interface; the standard
    // form of the result, or the empty text when a call gave no handle.
    static std::u16string EvaluateText(const char16_t *text) {
        int64_t h = Kernel_EvaluateExpression(Kernel_InputExpression(text));
        std::u16string out = Kernel_OutputExpression(h);
        Kernel_FreeExpression(h);
        return out;
    }
    // List[v1, ..., vn] of small integers.
    static Object *Ints(const std::vector<int64_t> &values) {
        Object *list = Expression_NewSized(Symbol_Intern(u"List"), int64_t(values.size()));
        for (size_t i = 0; i < values.size(); ++i) AsExpression(list)->elements[i + 1] = Integer_FromSmall(values[i]);
        return list;
    }
    static Object *Call(const char16_t *head, Object *a = nullptr, Object *b = nullptr, Object *c = nullptr,
                        Object *d = nullptr) {
        return Expression_New(Symbol_Intern(head), a, b, c, d);
    }
};

// The standard form of o, consuming o.
std::u16string StandardText(Object *o);

// UTF-16 to UTF-8, for readable assertion messages.
std::string Narrow(std::u16string_view text);

// Current record counts of all object pools, for leak accounting.
std::vector<int64_t> PoolCounts();
