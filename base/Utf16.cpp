#include "base/Utf16.h"

namespace utq::utf16 {

QString wellFormed(QString text) {
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (!c.isSurrogate())
            continue;
        if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate())
            ++i;
        else
            text[i] = QChar::ReplacementCharacter; // detaches only where text changes
    }
    return text;
}

void truncate(QString& text, qsizetype length) {
    if (text.size() <= length)
        return;
    text.truncate(length);
    if (!text.isEmpty() && text.back().isHighSurrogate())
        text.chop(1);
}

} // namespace utq::utf16
