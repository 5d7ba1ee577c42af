#include "syntax/token.h"

#include <utility>

namespace {

Token *Make(std::u16string cls, std::u16string text, int64_t position) {
    return new Token{std::move(cls), std::move(text), nullptr, position, -1, -1, nullptr, nullptr};
}

}  // namespace

Token *TokenList::Append(std::u16string cls, std::u16string text, int64_t position) {
    return InsertAfter(last, std::move(cls), std::move(text), position);
}

Token *TokenList::InsertBefore(Token *at, std::u16string cls, std::u16string text, int64_t position) {
    Token *t = Make(std::move(cls), std::move(text), position);
    t->next = at;
    t->prev = at ? at->prev : last;
    (t->prev ? t->prev->next : first) = t;
    (t->next ? t->next->prev : last) = t;
    ++count;
    return t;
}

Token *TokenList::InsertAfter(Token *at, std::u16string cls, std::u16string text, int64_t position) {
    Token *t = Make(std::move(cls), std::move(text), position);
    t->prev = at;
    t->next = at ? at->next : first;
    (t->prev ? t->prev->next : first) = t;
    (t->next ? t->next->prev : last) = t;
    ++count;
    return t;
}

void TokenList::Delete(Token *t) {
    if (cursor == t) cursor = t->prev;
    (t->prev ? t->prev->next : first) = t->next;
    (t->next ? t->next->prev : last) = t->prev;
    Object_Release(t->value);
    delete t;
    --count;
}

void TokenList::Clear() {
    while (first) Delete(first);
    cursor = nullptr;
}
