// The login integration tests' shared data.
#include "LoginTestTools.h"

namespace tolvane::testing {

QStringList awkwardDataLocations()
{
    return {
        QStringLiteral("/Users/a/tolvane data"),
        QStringLiteral("/tmp/say \"hello\""),
        QStringLiteral("/tmp/$HOME/${PATH}/$1$@$$"),
        QStringLiteral("/tmp/$(touch injected)"),
        QStringLiteral("/tmp/`touch injected`"),
        QStringLiteral("/tmp/back\\slash\\"),
        QStringLiteral("/tmp/it's o'clock"),
        QStringLiteral("/tmp/Tölväne データ"),
        QStringLiteral("/tmp/a;b&c|d<e>f*?[x]~!#%{}"),
        QStringLiteral("  leading and trailing blanks  "),
        QStringLiteral("/tmp/'$(touch injected)'\"`touch injected`\"\\"),
    };
}

QList<QByteArray> utf8(const QStringList& texts)
{
    QList<QByteArray> bytes;
    for (const QString& text : texts)
        bytes << text.toUtf8();
    return bytes;
}

} // namespace tolvane::testing
