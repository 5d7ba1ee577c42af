// Messages: templates stored per symbol and tag, filled with up to two
// argument texts and delivered to the host's message callback.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "object/object.h"

// Fills the template registered on symbol under tag (%1 with arg1, then %2
// with arg2, then %% with %) and delivers it through callback 2. Returns 1
// when delivered; 0 when the callback is unbound, messages are suppressed,
// or the symbol or template does not exist.
int Message_Emit(std::u16string_view symbol, std::u16string_view tag, std::u16string_view arg1 = {},
                 std::u16string_view arg2 = {});

// The standard form of o, shortened to the message argument width: longer
// texts keep their first floor(w/2) - 1 and last w - floor(w/2) - 1
// characters around the marker. Borrows o.
std::u16string Message_ShortText(Object *o);

// A signed 64-bit integer in decimal.
std::u16string Message_IntegerText(int64_t v);

// Fills a template: exposed for the tests of the substitution order.
std::u16string Message_Fill(std::u16string_view text, std::u16string_view arg1, std::u16string_view arg2);
