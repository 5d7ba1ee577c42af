// Runs the conformance cases in tests/cases/*.vl through the public C
// interface, as a host would. Each file is one kernel session: the state
// carries from case to case, and a fresh Kernel_Initialize starts the file.
//
// Case file syntax, line by line:
//   # ...            a comment (a hash and a space, or a lone hash)
//   > TEXT           an input that is parsed and evaluated
//   parse> TEXT      an input that is only parsed
//   roundtrip> TEXT  parse, format, parse the formatted text again: both
//                    parses must give the same standard and full forms
//   ... TEXT         continues the input on a new line (joined with CR LF)
//   print: TEXT      expected text of one print callback
//   message: S::T: TEXT   expected message
//   syntax: TEXT     expected syntax error (the input gives no expression)
//   anything else    a line of the expected standard form of the result
//                    (an evaluated result of Null is not shown)
// Expected events must arrive in the order written; blank lines are ignored.
//
// The examples of the documentation are cases too: every block of
// docs/guide.md and README.md fenced as ```vorlan holds case lines, and the
// blocks of one file run in order as one session, like a .vl file, so that
// an example the kernel no longer gives fails here.
//
// After its cases have run, each file runs a second time in the same
// session, without looking at the results: the second run must not leave
// more live objects in any pool than there were before it, so that a leak
// fails the file instead of hiding until the teardown drops everything.
// (The runner links the static library only to read those counts; the
// cases themselves go through the twelve exported functions.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kernel/lifecycle.h"
#include "text_codec.h"
#include "vorlan.h"

namespace {

std::vector<std::string> g_events;

void OnPrint(const char16_t *text) { g_events.push_back("print: " + ToUtf8(text)); }
void OnMessage(const char16_t *text, const char16_t *symbol, const char16_t *tag) {
    g_events.push_back("message: " + ToUtf8(symbol) + "::" + ToUtf8(tag) + ": " + ToUtf8(text));
}
void OnSyntaxError(const char16_t *text) { g_events.push_back("syntax: " + ToUtf8(text)); }

struct Case {
    std::string mode;  // ">", "parse>" or "roundtrip>"
    std::string input;
    int line;
    std::vector<std::string> expected;
};

// The case lines of a file with their line numbers: every line of a .vl
// file, the lines inside the ```vorlan blocks of a Markdown file.
std::vector<std::pair<int, std::string>> CaseLines(const std::filesystem::path &path) {
    std::ifstream in(path);
    bool markdown = path.extension() == ".md", inside = !markdown;
    std::vector<std::pair<int, std::string>> lines;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (markdown && line.rfind("```", 0) == 0) {
            inside = !inside && line == "```vorlan";
            continue;
        }
        if (inside) lines.emplace_back(number, line);
    }
    return lines;
}

std::vector<Case> ReadCases(const std::filesystem::path &path) {
    std::vector<Case> cases;
    for (auto &[number, line] : CaseLines(path)) {
        if (line.empty() || line == "#" || line.rfind("# ", 0) == 0) continue;
        bool started = false;
        for (const char *mode : {">", "parse>", "roundtrip>"}) {
            std::string prefix = std::string(mode) + " ";
            if (line.rfind(prefix, 0) == 0 || line == mode) {
                cases.push_back({mode, line.size() > prefix.size() ? line.substr(prefix.size()) : "", number, {}});
                started = true;
                break;
            }
        }
        if (started) continue;
        if (cases.empty()) continue;
        if (line.rfind("... ", 0) == 0 || line == "...") {
            cases.back().input += "\r\n" + (line.size() > 4 ? line.substr(4) : "");
            continue;
        }
        std::vector<std::string> &expected = cases.back().expected;
        bool event = line.rfind("print: ", 0) == 0 || line.rfind("message: ", 0) == 0 || line.rfind("syntax: ", 0) == 0;
        // Consecutive output lines form one multi-line result.
        if (!event && !expected.empty() && expected.back().rfind("output: ", 0) == 0)
            expected.back() += "\r\n" + line;
        else
            expected.push_back(event ? line : "output: " + line);
    }
    return cases;
}

int64_t Parse(const std::string &text) { return Kernel_InputExpression(ToUtf16(text).c_str()); }

std::string Output(int64_t handle) { return ToUtf8(Kernel_OutputExpression(handle)); }

// The full form of a handle's expression, through InternalForm.
std::string FullForm(const std::string &text) {
    int64_t h = Parse("InternalForm((" + text + "))");
    if (!h) return "<no parse>";
    std::string full = Output(h);
    Kernel_FreeExpression(h);
    return full;
}

std::vector<std::string> RunCase(const Case &c) {
    g_events.clear();
    int64_t h = Parse(c.input);
    if (!h) return g_events;
    if (c.mode == "roundtrip>") {
        std::string first = Output(h);
        Kernel_FreeExpression(h);
        int64_t again = Parse(first);
        if (!again) {
            g_events.push_back("roundtrip: " + first + " does not parse");
            return g_events;
        }
        std::string second = Output(again);
        Kernel_FreeExpression(again);
        if (second != first) g_events.push_back("roundtrip: " + first + " reads back as " + second);
        std::string full1 = FullForm(c.input), full2 = FullForm(first);
        if (full1 != full2) g_events.push_back("roundtrip: " + full1 + " reads back as " + full2);
        g_events.push_back("output: " + first);
        return g_events;
    }
    if (c.mode == ">") h = Kernel_EvaluateExpression(h);
    std::string output = Output(h);
    // As in the host, an evaluation whose result is Null shows nothing.
    if (c.mode != ">" || output != "Null") g_events.push_back("output: " + output);
    Kernel_FreeExpression(h);
    return g_events;
}

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, CasesHold) {
    std::filesystem::path path = GetParam();
    std::vector<Case> cases = ReadCases(path);
    ASSERT_FALSE(cases.empty()) << "no cases in " << path;
    Kernel_Initialize();
    Kernel_BindCallback(1, reinterpret_cast<void *>(OnPrint));
    Kernel_BindCallback(2, reinterpret_cast<void *>(OnMessage));
    Kernel_BindCallback(3, reinterpret_cast<void *>(OnSyntaxError));
    for (const Case &c : cases) {
        std::vector<std::string> got = RunCase(c);
        std::string wanted, actual;
        for (const std::string &e : c.expected) wanted += "  " + e + "\n";
        for (const std::string &e : got) actual += "  " + e + "\n";
        EXPECT_EQ(actual, wanted) << GetParam() << ":" << c.line << ": " << c.mode << " " << c.input;
    }
    std::vector<PoolCount> before = Kernel_LiveCounts();
    for (const Case &c : cases) RunCase(c);
    std::vector<PoolCount> after = Kernel_LiveCounts();
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_LE(after[i].second, before[i].second) << GetParam() << ": the second run left objects in the pool of "
                                                     << before[i].first;
    Kernel_Terminate();
}

std::vector<std::string> CaseFiles() {
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(VORLAN_CASES_DIR))
        if (entry.path().extension() == ".vl") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> DocumentFiles() {
    std::filesystem::path source(VORLAN_SOURCE_DIR);
    return {(source / "docs" / "guide.md").string(), (source / "README.md").string()};
}

// The test is named by the file's name without its extension.
std::string CaseName(const ::testing::TestParamInfo<std::string> &info) {
    std::string name = std::filesystem::path(info.param).stem().string();
    for (char &c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Conformance, ::testing::ValuesIn(CaseFiles()), CaseName);
INSTANTIATE_TEST_SUITE_P(Docs, Conformance, ::testing::ValuesIn(DocumentFiles()), CaseName);

}  // namespace
