#include "syntax/parser.h"

#include <unordered_map>
#include <vector>

namespace {

struct Element {
    int32_t symbol;   // -1 for a literal
    int32_t literal;  // -1 for a symbol
};

struct Rule {
    std::u16string result;
    int32_t resultId;
    std::vector<Element> elements;
    int64_t flags;
    GrammarAction action;
    std::u16string head;
};

}  // namespace

// Symbols and literals are numbered once, when the rules are added, so that
// the engine compares integers rather than strings at every step.
struct Grammar {
    std::vector<Rule> rules;
    GrammarErrorText onError;
    std::u16string lastError;
    std::unordered_map<std::u16string, int32_t> symbols;
    std::unordered_map<std::u16string, int32_t> literals;
    // For each symbol and literal number, the rules (in order) whose last
    // element, or whose first element when they have two or more, it
    // matches: only these can reduce or shift at a token, so the engine
    // tries them alone instead of every rule at every step.
    std::vector<std::vector<int32_t>> candidatesBySymbol;
    std::vector<std::vector<int32_t>> candidatesByLiteral;
};

namespace {

int32_t Number(std::unordered_map<std::u16string, int32_t> &map, std::u16string_view name) {
    auto [it, added] = map.emplace(std::u16string(name), int32_t(map.size()));
    return it->second;
}

int32_t Lookup(const std::unordered_map<std::u16string, int32_t> &map, std::u16string_view name) {
    if (name.empty()) return -1;
    auto it = map.find(std::u16string(name));
    return it == map.end() ? -1 : it->second;
}

bool Matches(const Element &e, const Token *t) {
    return (e.symbol >= 0 && e.symbol == t->symbol) || (e.literal >= 0 && e.literal == t->literal);
}

// The rule's last element matches c, the one before it the token before c,
// and so on; returns the leftmost matched token, or null.
Token *ReduceMatch(const Rule &r, Token *c) {
    Token *t = c;
    for (size_t i = r.elements.size(); i-- > 0;) {
        if (!t || !Matches(r.elements[i], t)) return nullptr;
        if (i > 0) t = t->prev;
    }
    return t;
}

bool ShiftMatch(const Rule &r, const Token *c) {
    return r.elements.size() >= 2 && Matches(r.elements[0], c) && c->next && Matches(r.elements[1], c->next);
}

// Applies a rule whose tokens start at first; returns the result token.
Token *Reduce(const Rule &r, TokenList &tokens, Token *first) {
    Token *result;
    if (r.action) {
        tokens.cursor = first;
        r.action(tokens, r.head);
        result = tokens.cursor;
    } else {
        result = nullptr;
        Token *t = first;
        for (size_t i = 0; i < r.elements.size(); ++i) {
            Token *next = t->next;
            if (r.flags & (int64_t(8) << i)) result = t;
            else if (!(r.flags & (int64_t(1) << i))) tokens.Delete(t);
            t = next;
        }
    }
    result->cls = r.result;
    result->symbol = r.resultId;
    return result;
}

}  // namespace

Grammar *Grammar_Create(GrammarErrorText onError) {
    auto *g = new Grammar();
    g->onError = onError;
    return g;
}

void Grammar_AddRule(Grammar *g, std::u16string_view result, std::u16string_view elements, int64_t flags,
                     GrammarAction action, std::u16string_view head) {
    Rule r{std::u16string(result), Number(g->symbols, result), {}, flags, action, std::u16string(head)};
    size_t at = 0;
    while (at < elements.size()) {
        size_t end = elements.find(u' ', at);
        if (end == std::u16string_view::npos) end = elements.size();
        std::u16string_view piece = elements.substr(at, end - at);
        if (piece.size() >= 2 && piece.front() == u'\'' && piece.back() == u'\'')
            r.elements.push_back({-1, Number(g->literals, piece.substr(1, piece.size() - 2))});
        else if (!piece.empty())
            r.elements.push_back({Number(g->symbols, piece), -1});
        at = end + 1;
    }
    auto index = [&](const Element &e, int32_t rule) {
        auto &table = e.symbol >= 0 ? g->candidatesBySymbol : g->candidatesByLiteral;
        size_t id = size_t(e.symbol >= 0 ? e.symbol : e.literal);
        if (table.size() <= id) table.resize(id + 1);
        if (table[id].empty() || table[id].back() != rule) table[id].push_back(rule);
    };
    int32_t number = int32_t(g->rules.size());
    if (!r.elements.empty()) index(r.elements.back(), number);
    if (r.elements.size() >= 2) index(r.elements.front(), number);
    g->rules.push_back(std::move(r));
}

int32_t Grammar_LiteralId(const Grammar *g, std::u16string_view text) { return Lookup(g->literals, text); }

Object *Grammar_Parse(Grammar *g, TokenList &tokens, std::u16string_view input) {
    g->lastError.clear();
    if (!tokens.first) return nullptr;
    for (Token *t = tokens.first; t; t = t->next) {
        t->symbol = Lookup(g->symbols, t->cls);
        t->literal = Lookup(g->literals, t->text);
    }
    Token *c = tokens.first;
    Token *start = tokens.InsertBefore(tokens.first, u"^", u"", -1);
    Token *end = tokens.InsertAfter(tokens.last, u"$", u"", -1);
    start->symbol = Lookup(g->symbols, u"^");
    end->symbol = Lookup(g->symbols, u"$");
    static const std::vector<int32_t> kNone;
    auto candidates = [](const std::vector<std::vector<int32_t>> &table, int32_t id) -> const std::vector<int32_t> & {
        return id >= 0 && size_t(id) < table.size() ? table[size_t(id)] : kNone;
    };
    for (;;) {
        bool moved = false;
        // The two candidate lists merged in rule order.
        const std::vector<int32_t> &a = candidates(g->candidatesBySymbol, c->symbol);
        const std::vector<int32_t> &b = candidates(g->candidatesByLiteral, c->literal);
        size_t i = 0, j = 0;
        while (i < a.size() || j < b.size()) {
            int32_t next = j >= b.size() || (i < a.size() && a[i] <= b[j]) ? a[i] : b[j];
            while (i < a.size() && a[i] == next) ++i;
            while (j < b.size() && b[j] == next) ++j;
            const Rule &r = g->rules[size_t(next)];
            if (Token *first = ReduceMatch(r, c)) {
                c = Reduce(r, tokens, first);
                moved = true;
                break;
            }
            if (ShiftMatch(r, c)) {
                c = c->next;
                moved = true;
                break;
            }
        }
        if (moved) continue;
        if (!c->next) break;
        c = c->next;
    }
    if (tokens.count == 1) {
        Object *value = tokens.first->value;
        tokens.first->value = nullptr;
        if (value) return value;
    }
    g->lastError = g->onError(tokens, input);
    tokens.Clear();
    return nullptr;
}

const std::u16string &Grammar_LastError(const Grammar *g) { return g->lastError; }

void Grammar_Free(Grammar *g) { delete g; }
