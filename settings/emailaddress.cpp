#include "emailaddress.h"

#include <QRegularExpression>

namespace Veltrix {

bool isValidEmail(const QString &text)
{
    if (text.isEmpty())
        return false;
    // Anchored: the address must be the whole text, not a part of it.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("\\b[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,63}\\b")));
    return pattern.match(text).hasMatch();
}

} // namespace Veltrix
