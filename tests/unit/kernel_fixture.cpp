#include "kernel_fixture.h"

#include "kernel/lifecycle.h"
#include "object/utf8.h"
#include "syntax/formatter.h"

HostRecord &Host() {
    static HostRecord record;
    return record;
}

namespace {

void OnPrint(const char16_t *text) { Host().printed.emplace_back(text); }

void OnMessage(const char16_t *text, const char16_t *symbol, const char16_t *tag) {
    Host().messages.push_back(std::u16string(symbol) + u"::" + tag + u": " + text);
}

void OnSyntaxError(const char16_t *text) { Host().syntaxErrors.emplace_back(text); }

}  // namespace

void BindRecordingCallbacks() {
    Kernel_BindCallback(1, reinterpret_cast<void *>(OnPrint));
    Kernel_BindCallback(2, reinterpret_cast<void *>(OnMessage));
    Kernel_BindCallback(3, reinterpret_cast<void *>(OnSyntaxError));
}

std::u16string StandardText(Object *o) {
    std::u16string text = Format_Standard(o);
    Object_Release(o);
    return text;
}

std::string Narrow(std::u16string_view text) { return Utf16_ToUtf8(text); }

std::vector<int64_t> PoolCounts() {
    std::vector<int64_t> counts;
    for (const PoolCount &c : Kernel_LiveCounts()) counts.push_back(c.second);
    return counts;
}
