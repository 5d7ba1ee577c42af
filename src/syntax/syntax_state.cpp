#include "syntax/syntax_state.h"

#include "kernel/state.h"
#include "syntax/lexer.h"

void SyntaxState_Destroy() {
    SyntaxState &s = kernel.syntax;
    Tokenizer_Teardown();
    // Lexer_Free and Regex_Free clear the slots they free; the tables keep
    // their size, so the loops can walk them meanwhile.
    for (Lexer *lexer : s.lexerSlots.slots) Lexer_Free(lexer);
    for (RegexProgram *program : s.regexSlots.slots)
        if (program) Regex_Free(reinterpret_cast<int64_t>(program));
    s.lexerSlots.slots.clear();
    s.regexSlots.slots.clear();
    s.regexStack.reset();
    std::vector<RegexTrailEntry>().swap(s.regexTrail);
}
