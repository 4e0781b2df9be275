#include "tnotificationconfig.h"

#include "tlocationconfig.h"

#include <QStringList>

namespace Veltrix {
namespace Database {

QString TNotificationConfig::tableName() const
{
    return QStringLiteral("NotificationConfig");
}

QString TNotificationConfig::idColumn() const
{
    return QStringLiteral("NotificationConfigID");
}

QString TNotificationConfig::nameColumn() const
{
    return QStringLiteral("name");
}

QString TNotificationConfig::headersText(const TNotificationHeaders &headers)
{
    QStringList parts;
    for (const TNotificationHeader &header : headers)
        parts.append(header.first + QStringLiteral(": ") + header.second);
    return parts.join(QLatin1Char(','));
}

TNotificationHeaders TNotificationConfig::parseHeaders(const QString &text)
{
    TNotificationHeaders headers;
    const QStringList entries = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        const QStringList pieces = entry.split(QLatin1Char(':'), Qt::SkipEmptyParts);
        if (pieces.size() >= 2)
            headers.append(TNotificationHeader(pieces.at(0).trimmed(), pieces.at(1).trimmed()));
    }
    return headers;
}

TItemMap TNotificationConfig::toMap() const
{
    TItemMap map;
    map.insert(QStringLiteral("NotificationConfigID"), keyText(id()));
    map.insert(QStringLiteral("name"), name());
    map.insert(QStringLiteral("url"), m_url);
    map.insert(QStringLiteral("method"), m_method);
    map.insert(QStringLiteral("headers"), headersText(m_headers));
    map.insert(QStringLiteral("message"), m_message);
    map.insert(QStringLiteral("resultlimit"), limitText(m_resultLimit));
    return map;
}

bool TNotificationConfig::fromMap(const TItemMap &map)
{
    setId(mapKey(map, QStringLiteral("NotificationConfigID")));
    setName(mapValue(map, QStringLiteral("name")));
    m_url = mapValue(map, QStringLiteral("url"));
    m_method = mapValue(map, QStringLiteral("method"));
    m_headers = parseHeaders(mapValue(map, QStringLiteral("headers")));
    m_message = mapValue(map, QStringLiteral("message"));
    m_resultLimit = mapLimit(map, QStringLiteral("resultlimit"));
    return isValid();
}

bool TNotificationConfig::isValid() const
{
    if (m_url.isEmpty())
        return false;
    const QString method = m_method.toUpper();
    return method == QLatin1String("POST") || method == QLatin1String("GET") ||
           method == QLatin1String("PUT");
}

QString TNotificationConfig::selectByDeviceSql(const QString &value) const
{
    return selectConfigByDeviceSql(tableName(), idColumn(), value);
}

} // namespace Database
} // namespace Veltrix
