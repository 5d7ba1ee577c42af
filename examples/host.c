/*
 * A complete host in C: evaluates each argument, or each line of standard
 * input when there are none, and prints the results. It uses only the
 * public header and the shared library:
 *
 *     cc host.c $(pkg-config --cflags --libs vorlan) -o host
 *     ./host '1 + 1' 'Expand((a + b)^2)'
 *     echo 'Factorial(20)' | ./host
 *
 * Results go to standard output, except Null; Print output too, as it
 * arrives. Messages and syntax errors go to standard error. The exit status
 * is 1 when an input had a syntax error.
 *
 * The kernel speaks UTF-16; the terminal UTF-8. The two conversions below
 * are the host's own.
 */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <uchar.h>

#include "vorlan.h"

/* ---- UTF-8 and UTF-16 ---------------------------------------------------- */

/* The UTF-16 text of the n UTF-8 bytes at s, zero-terminated, in memory the
 * caller frees; null when out of memory. A byte that does not start a
 * well-formed sequence becomes U+FFFD. */
static char16_t *utf16_from_utf8(const char *s, size_t n) {
    const unsigned char *p = (const unsigned char *)s, *end = p + n;
    char16_t *text = malloc((n + 1) * sizeof *text); /* never more units than bytes */
    char16_t *out = text;
    if (!text) return NULL;
    while (p < end) {
        unsigned long c = *p;
        int follow = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xF0 && c < 0xF5 ? 3 : -1;
        unsigned long min = follow == 1 ? 0x80 : follow == 2 ? 0x800 : 0x10000;
        int i;
        if (follow < 0 || end - p <= follow) {
            *out++ = 0xFFFD;
            ++p;
            continue;
        }
        if (follow) c &= 0x3Fu >> follow;
        for (i = 1; i <= follow && (p[i] & 0xC0) == 0x80; ++i) c = (c << 6) | (p[i] & 0x3F);
        if (i <= follow || (follow > 0 && c < min) || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            *out++ = 0xFFFD;
            ++p;
            continue;
        }
        p += follow + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            *out++ = (char16_t)(0xD800 + (c >> 10));
            *out++ = (char16_t)(0xDC00 + (c & 0x3FF));
        } else {
            *out++ = (char16_t)c;
        }
    }
    *out = 0;
    return text;
}

/* Writes the zero-terminated UTF-16 text to f as UTF-8; a lone surrogate
 * becomes U+FFFD. */
static void put_utf16(FILE *f, const char16_t *text) {
    for (; *text; ++text) {
        unsigned long c = *text;
        if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            putc((int)c, f);
        } else if (c < 0x800) {
            putc((int)(0xC0 | (c >> 6)), f);
            putc((int)(0x80 | (c & 0x3F)), f);
        } else if (c < 0x10000) {
            putc((int)(0xE0 | (c >> 12)), f);
            putc((int)(0x80 | ((c >> 6) & 0x3F)), f);
            putc((int)(0x80 | (c & 0x3F)), f);
        } else {
            putc((int)(0xF0 | (c >> 18)), f);
            putc((int)(0x80 | ((c >> 12) & 0x3F)), f);
            putc((int)(0x80 | ((c >> 6) & 0x3F)), f);
            putc((int)(0x80 | (c & 0x3F)), f);
        }
    }
}

/* ---- Callbacks ----------------------------------------------------------- */

/* Print hands over one piece per argument without line breaks; the line it
 * leaves open is ended before anything else is written. */
static int line_open;
static int syntax_errors;

static void end_printed_line(void) {
    if (line_open) putchar('\n');
    line_open = 0;
}

/* Diagnostics go to standard error; flushing standard output first keeps
 * the two in order when both go to one file. */
static FILE *diagnostics(void) {
    end_printed_line();
    fflush(stdout);
    return stderr;
}

static void on_print(const char16_t *text) {
    put_utf16(stdout, text);
    if (*text) line_open = 1;
}

static void on_message(const char16_t *text, const char16_t *symbol, const char16_t *tag) {
    FILE *f = diagnostics();
    put_utf16(f, symbol);
    fputs("::", f);
    put_utf16(f, tag);
    fputs(": ", f);
    put_utf16(f, text);
    putc('\n', f);
}

static void on_syntax_error(const char16_t *text) {
    FILE *f = diagnostics();
    fputs("Syntax error: ", f);
    put_utf16(f, text);
    putc('\n', f);
    ++syntax_errors;
}

/* ---- One input ----------------------------------------------------------- */

/* Parses, evaluates and prints the UTF-8 text of n bytes. A text without
 * tokens (blank, or only a comment) gives no handle and no error; a syntax
 * error has already been reported by on_syntax_error. */
static void run(const char *utf8, size_t n) {
    char16_t *text = utf16_from_utf8(utf8, n);
    int64_t expr, value;
    const char16_t *result;
    if (!text) {
        fputs("out of memory\n", diagnostics());
        return;
    }
    expr = Kernel_InputExpression(text);
    free(text);
    if (!expr) return;
    value = Kernel_EvaluateExpression(expr); /* consumes expr */
    end_printed_line();
    if (!value) {
        fputs("out of memory: the evaluation was abandoned\n", diagnostics());
        return;
    }
    /* The text stays valid only until the next call into the kernel. */
    result = Kernel_OutputExpression(value);
    if (!(result[0] == 'N' && result[1] == 'u' && result[2] == 'l' && result[3] == 'l' && result[4] == 0)) {
        put_utf16(stdout, result);
        putchar('\n');
    }
    Kernel_FreeExpression(value);
}

int main(int argc, char **argv) {
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        int64_t v = Kernel_Version();
        printf("vorlan.h %s, library %d.%d.%d-%d\n", VORLAN_VERSION_STRING, (int)((v >> 48) & 0xFFFF),
               (int)((v >> 32) & 0xFFFF), (int)((v >> 16) & 0xFFFF), (int)(v & 0xFFFF));
        return 0;
    }

    /* Initialize unbinds callbacks 1, 2 and 4, so bind after it. */
    Kernel_Initialize();
    Kernel_BindCallback(1, (void *)on_print);
    Kernel_BindCallback(2, (void *)on_message);
    Kernel_BindCallback(3, (void *)on_syntax_error);

    if (argc > 1) {
        for (int i = 1; i < argc; ++i) run(argv[i], strlen(argv[i]));
    } else {
        /* Each line goes to the kernel with the line end it knows, CR LF,
         * which also ends a line comment. */
        char *line = NULL;
        size_t capacity = 0;
        ssize_t n;
        while ((n = getline(&line, &capacity, stdin)) >= 0) {
            if (n > 0 && line[n - 1] == '\n') --n;
            if (n > 0 && line[n - 1] == '\r') --n;
            line[n] = 0;
            if (strspn(line, " \t") == (size_t)n) continue; /* a lone line end is no input */
            if ((size_t)n + 2 > capacity) { /* a last line without LF */
                char *longer = realloc(line, (size_t)n + 2);
                if (!longer) break;
                line = longer;
                capacity = (size_t)n + 2;
            }
            line[n] = '\r';
            line[n + 1] = '\n';
            run(line, (size_t)n + 2);
        }
        free(line);
    }

    Kernel_Terminate();
    return syntax_errors ? 1 : 0;
}
