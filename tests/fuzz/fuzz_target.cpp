// A libFuzzer target over the public interface: each input is parsed,
// evaluated, printed and freed, the way a host would drive the kernel.
//
// An input that starts with a NUL byte is fed as raw UTF-16 code units (the
// bytes after the first, two per unit, little-endian), so that lone
// surrogates and every other unit reach the tokenizer; any other input is
// UTF-8 text, the form the seed corpus and the dictionary are written in.
// The kernel is reset every few thousand inputs, so that the reset path runs
// with a full object world and definitions do not pile up forever.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "text_codec.h"
#include "vorlan.h"

namespace {

constexpr int kInputsPerReset = 4000;
int inputsSinceReset;

// The callbacks read every character the kernel hands over, so that a
// dangling or unterminated text shows up under the sanitizers.
size_t sink;
void Touch(const char16_t *text) {
    if (text)
        for (const char16_t *p = text; *p; ++p) sink += *p;
}
void OnPrint(const char16_t *text) { Touch(text); }
void OnMessage(const char16_t *text, const char16_t *symbol, const char16_t *tag) {
    Touch(text);
    Touch(symbol);
    Touch(tag);
}
void OnSyntaxError(const char16_t *text) { Touch(text); }

void Bind() {
    Kernel_BindCallback(1, reinterpret_cast<void *>(OnPrint));
    Kernel_BindCallback(2, reinterpret_cast<void *>(OnMessage));
    Kernel_BindCallback(3, reinterpret_cast<void *>(OnSyntaxError));
}

std::u16string Decode(const uint8_t *data, size_t size) {
    if (size > 0 && data[0] == 0) {
        std::u16string units;
        for (size_t i = 1; i + 1 < size; i += 2) units += char16_t(data[i] | (data[i + 1] << 8));
        return units;
    }
    return ToUtf16(std::string_view(reinterpret_cast<const char *>(data), size));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    Kernel_Initialize();
    Bind();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (++inputsSinceReset >= kInputsPerReset) {
        inputsSinceReset = 0;
        Kernel_Reset();
    }
    std::u16string text = Decode(data, size);
    // The kernel reads up to the first NUL, like any host's text would end.
    int64_t input = Kernel_InputExpression(text.c_str());
    int64_t copy = Kernel_DuplicateExpression(input);
    Touch(Kernel_OutputExpression(input));
    int64_t result = Kernel_EvaluateExpression(input);
    Touch(Kernel_OutputExpression(result));
    Kernel_FreeExpression(result);
    Kernel_FreeExpression(copy);
    return 0;
}
