#include "names/DiscNames.h"

#include <algorithm>

namespace names {

QString SafeFileName(const QString& title, int maxBytes) {
    QString name;
    name.reserve(title.size());
    for (const QChar c : title) {
        if (c.category() == QChar::Other_Control)
            name += u' ';
        else if (c == u'/')
            name += u'_';
        else
            name += c;
    }
    name = name.trimmed();
    // Cut between characters, never inside a surrogate pair, so that the
    // UTF-8 stays whole.
    int bytes = 0;
    qsizetype keep = 0;
    while (keep < name.size()) {
        const bool pair = name[keep].isHighSurrogate() && keep + 1 < name.size() &&
                          name[keep + 1].isLowSurrogate();
        const char32_t code = pair ? QChar::surrogateToUcs4(name[keep], name[keep + 1])
                                   : char32_t(name[keep].unicode());
        const int size = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        keep += pair ? 2 : 1;
    }
    name.truncate(keep);
    name = name.trimmed();
    if (name.isEmpty() || name == u"." || name == u"..")
        name.fill(u'_', std::max<qsizetype>(name.size(), 1));
    return name;
}

} // namespace names
