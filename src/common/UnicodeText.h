// Whether a text can be written into a file format that accepts only some characters.
#pragma once

#include <QString>
#include <functional>

namespace tolvane {

// True when every character of the text is well-formed (no unpaired surrogate, which has no UTF-8
// form) and accepted by `accepts`, which sees whole code points.
bool holdsOnly(const QString& text, const std::function<bool(char32_t)>& accepts);

} // namespace tolvane
