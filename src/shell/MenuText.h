// Menu captions built from page titles, addresses and file names show their
// text as it is: a menu takes "&" as the mark of an access key, so every
// "&" of such a text is doubled. The "&" a generated item puts in front on
// purpose is added after, and stays an access key.
#pragma once

#include <QString>

namespace orvex {

inline QString MenuLiteral(const QString &text)
{
    QString literal = text;
    return literal.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace orvex
