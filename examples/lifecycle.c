/*
 * The smallest host: loads the kernel, binds the callbacks, and walks it
 * through its lifecycle with the public C interface only.
 */
#include <stdio.h>
#include <uchar.h>

#include "vorlan.h"

/* Writes UTF-16 text to stdout as UTF-8. */
static void put_text(const char16_t *text) {
    for (; *text; ++text) {
        unsigned c = *text;
        if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        }
        if (c < 0x80) {
            putchar((int)c);
        } else if (c < 0x800) {
            putchar(0xC0 | (c >> 6));
            putchar(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            putchar(0xE0 | (c >> 12));
            putchar(0x80 | ((c >> 6) & 0x3F));
            putchar(0x80 | (c & 0x3F));
        } else {
            putchar(0xF0 | (c >> 18));
            putchar(0x80 | ((c >> 12) & 0x3F));
            putchar(0x80 | ((c >> 6) & 0x3F));
            putchar(0x80 | (c & 0x3F));
        }
    }
}

static void on_print(const char16_t *text) { put_text(text); }

static void on_message(const char16_t *text, const char16_t *symbol, const char16_t *tag) {
    put_text(symbol);
    fputs("::", stdout);
    put_text(tag);
    fputs(": ", stdout);
    put_text(text);
    putchar('\n');
}

static void on_syntax_error(const char16_t *text) {
    fputs("Syntax error: ", stdout);
    put_text(text);
    putchar('\n');
}

int main(void) {
    int64_t v = Kernel_Version();
    printf("Vorlan kernel %d.%d.%d-%d\n", (int)((v >> 48) & 0xFFFF), (int)((v >> 32) & 0xFFFF),
           (int)((v >> 16) & 0xFFFF), (int)(v & 0xFFFF));

    /* Initialize first; it also unbinds callbacks 1, 2 and 4, so bind after. */
    printf("Kernel_Initialize -> %lld\n", (long long)Kernel_Initialize());
    Kernel_BindCallback(1, (void *)on_print);
    Kernel_BindCallback(2, (void *)on_message);
    Kernel_BindCallback(3, (void *)on_syntax_error);

    /* Reset drops every user definition and handle and rebuilds the
     * built-ins; settings and callbacks stay. */
    printf("Kernel_Reset -> %lld\n", (long long)Kernel_Reset());

    /* Terminate unbinds callbacks 1, 2 and 4; callback 3 stays bound. */
    printf("Kernel_Terminate -> %lld\n", (long long)Kernel_Terminate());
    return 0;
}
