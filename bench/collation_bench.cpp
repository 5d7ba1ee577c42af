// String collation: the cost of unpacking the tables at initialization,
// comparing two long texts, and sorting many short mixed-language words.
// The baseline is the collation of the test suite written in Python over
// the same allkeys data (keys built per word, then CPython's sorted); a
// plain byte sort, in C++ and in CPython, is the floor.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_kernel.h"
#include "bench_timing.h"
#include "eval/collation.h"
#include "kernel/state.h"
#include "kernel/unicode_tables.h"
#include "object/string.h"
#include "vorlan.h"

namespace {

using bench::Ours;
using bench::Python;
using bench::Report;
using bench::Run;

// Pieces of words by script: Latin with accents and case, Greek, Cyrillic,
// CJK (without collation entries), digits and punctuation.
const std::vector<std::vector<std::string>> kScripts = {
    {"a", "b", "c", "d", "e", "k", "m", "o", "r", "s", "t", "A", "B", "E", "S", "\xC3\xA4", "\xC3\xA9", "\xC3\xB1",
     "\xC3\x9F", "\xC3\x96", "o\xCC\x88"},
    {"\xCE\xB1", "\xCE\xB2", "\xCE\xB3", "\xCE\xB4", "\xCE\xB5", "\xCE\xA9", "\xCF\x89", "\xCF\x83", "\xCF\x82"},
    {"\xD0\xB0", "\xD0\xB1", "\xD0\xB2", "\xD0\x96", "\xD0\xB6", "\xD0\xAF", "\xD1\x8F", "\xD0\xBA"},
    {"\xE4\xB8\x80", "\xE4\xB8\x81", "\xE4\xBA\x8C", "\xE5\xA4\xA7"},
    {"0", "1", "7", "9", "-", " ", "'", "."},
};

std::string Word(std::mt19937 &random, int length) {
    const auto &first = kScripts[random() % 4];
    std::string w;
    for (int k = 0; k < length; ++k) {
        const auto &script = random() % 5 == 0 ? kScripts[random() % kScripts.size()] : first;
        w += script[random() % script.size()];
    }
    return w;
}

// The text as a string literal of the language (the pieces need no escapes).
std::string Literal(const std::string &w) { return "\"" + w + "\""; }

// Python lines that load the test-side collation and the words in path.
// A row in microseconds, for the comparisons of single pairs.
void ReportMicro(const char *what, double ours, double baseline, const char *name) {
    std::printf("%-46s %10.2f us %10.2f us %8.3f  (%s)\n", what, ours * 1e6, baseline * 1e6, ours / baseline, name);
}

std::string PythonSetup(const std::string &path) {
    return "sys.path.insert(0, '" VORLAN_SOURCE_DIR "/tests')\nimport collation_check as c\n"
           "tab = c.read_table(c.DEFAULT_DATA)\nw = open('" + path + "', encoding='utf-8').read().split('\\n')\n"
           "b = [x.encode('utf-8') for x in w]\nkey = lambda x: c.sort_key(tab, x)\n";
}

}  // namespace

int main() {
    std::printf("%-46s %13s %13s %8s\n", "workload", "ours", "baseline", "ratio");

    double init = bench::Time([] { Kernel_Initialize(); });
    double reset = bench::Time([] { Kernel_Reset(); });
    double unpack = bench::Time([] {
        UnicodeTables_Free();
        UnicodeTables_Load();
    });
    std::printf("%-46s %10.2f ms   (target 30 ms)\n", "Kernel_Initialize, tables included", init * 1e3);
    std::printf("%-46s %10.2f ms\n", "  of which unpacking and checking the tables", unpack * 1e3);
    std::printf("%-46s %10.2f ms   (the tables stay)\n", "Kernel_Reset", reset * 1e3);

    std::mt19937 random(2026);
    std::string words = "/tmp/vorlan_collation_" + std::to_string(getpid()) + ".txt";

    // Two texts of 10^4 characters: equal up to the last character, and
    // differing only in the case of the first (every level but the last
    // read in full).
    {
        std::string base;
        while (base.size() < 20000) base += Word(random, 8) + " ";
        std::string a = base + "a", b = base + "b", upper = "A" + base, lower = "a" + base;
        Object *x = String_New(a.data(), int64_t(a.size()), SUB_UTF8), *y = String_New(b.data(), int64_t(b.size()), SUB_UTF8);
        Object *u = String_New(upper.data(), int64_t(upper.size()), SUB_UTF8);
        Object *l = String_New(lower.data(), int64_t(lower.size()), SUB_UTF8);
        double atEnd = bench::Time([&] { String_Collate(x, y); });
        double byCase = bench::Time([&] { String_Collate(l, u); });
        double bytes = bench::Time([&] { String_CompareBytes(x, y); });
        if (FILE *f = std::fopen(words.c_str(), "w")) {
            std::fprintf(f, "%s\n%s\n%s\n%s", a.c_str(), b.c_str(), lower.c_str(), upper.c_str());
            std::fclose(f);
        }
        std::string setup = PythonSetup(words);
        double pyEnd = Python(setup, "key(w[0]) < key(w[1])");
        double pyCase = Python(setup, "key(w[2]) < key(w[3])");
        double pyBytes = Python(setup, "for _ in range(1000): b[0] < b[1]") / 1000;
        ReportMicro("compare 10^4 chars, differing at the end", atEnd, pyEnd, "Python collation keys");
        ReportMicro("compare 10^4 chars, differing at the end", atEnd, bytes, "byte comparison, the floor");
        ReportMicro("compare 10^4 chars, differing at the end", atEnd, pyBytes, "CPython bytes <, a floor");
        ReportMicro("compare 10^4 chars, differing in case only", byCase, pyCase, "Python collation keys");
        Object_Release(x);
        Object_Release(y);
        Object_Release(u);
        Object_Release(l);
    }

    // Sorting 10^5 short mixed-language words through the interface.
    {
        std::vector<std::string> list;
        for (int i = 0; i < 100000; ++i) list.push_back(Word(random, 3 + int(random() % 8)));
        std::string text = "w = {";
        std::string lines;
        for (size_t i = 0; i < list.size(); ++i) {
            if (i) {
                text += ", ";
                lines += '\n';
            }
            text += Literal(list[i]);
            lines += list[i];
        }
        Run(text + "}");
        double ours = Ours("Sort(w)");
        if (FILE *f = std::fopen(words.c_str(), "w")) {
            std::fputs(lines.c_str(), f);
            std::fclose(f);
        }
        std::string setup = PythonSetup(words);
        double keyed = Python(setup, "sorted(w, key=key)");
        double pyBytes = Python(setup, "sorted(b)");
        std::vector<std::string> copy;
        double floor = bench::Time([&] {
            copy = list;
            std::sort(copy.begin(), copy.end());
        });
        Report("Sort of 10^5 mixed-language words", ours, keyed, "Python collation keys, sorted");
        Report("Sort of 10^5 mixed-language words", ours, pyBytes, "CPython sorted bytes, a floor");
        Report("Sort of 10^5 mixed-language words", ours, floor, "std::sort of std::string, the floor");
    }
    std::remove(words.c_str());
    Kernel_Terminate();
    return 0;
}
