// The character check shared by the login entries' file formats.
#include "common/UnicodeText.h"

namespace tolvane {

bool holdsOnly(const QString& text, const std::function<bool(char32_t)>& accepts)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        char32_t codePoint = unit;
        if (QChar::isHighSurrogate(unit)) {
            if (i + 1 >= text.size() || !QChar::isLowSurrogate(text.at(i + 1).unicode()))
                return false;
            codePoint = QChar::surrogateToUcs4(unit, text.at(++i).unicode());
        } else if (QChar::isLowSurrogate(unit)) {
            return false;
        }
        if (!accepts(codePoint))
            return false;
    }
    return true;
}

} // namespace tolvane
