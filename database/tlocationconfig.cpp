#include "tlocationconfig.h"

namespace Veltrix {
namespace Database {

QString selectConfigByDeviceSql(const QString &table, const QString &key, const QString &value)
{
    return QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE ") + key +
           QStringLiteral(" = (SELECT ") + key +
           QStringLiteral(
               " FROM DeviceConfigs WHERE DevicesID = (SELECT DevicesID FROM Devices WHERE serial = ") +
           value + QStringLiteral("));");
}

QString TLocationConfig::tableName() const
{
    return QStringLiteral("Location");
}

QString TLocationConfig::idColumn() const
{
    return QStringLiteral("LocationID");
}

QString TLocationConfig::nameColumn() const
{
    return QStringLiteral("name");
}

TItemMap TLocationConfig::toMap() const
{
    TItemMap map;
    map.insert(QStringLiteral("LocationID"), keyText(id()));
    map.insert(QStringLiteral("name"), name());
    map.insert(QStringLiteral("EmailConfigID"), keyText(m_emailConfigId));
    map.insert(QStringLiteral("Timezone"),
               m_timeZone.isValid() ? QString::fromUtf8(m_timeZone.id()) : QString());
    return map;
}

bool TLocationConfig::fromMap(const TItemMap &map)
{
    setId(mapKey(map, QStringLiteral("LocationID")));
    m_emailConfigId = mapKey(map, QStringLiteral("EmailConfigID"));
    setName(mapValue(map, QStringLiteral("name")));
    // An unknown or empty identifier gives an invalid zone (QTimeZone would
    // take an empty one for the machine's zone).
    const QByteArray zoneId = mapValue(map, QStringLiteral("Timezone")).toUtf8();
    m_timeZone = zoneId.isEmpty() ? QTimeZone() : QTimeZone(zoneId);
    return isValid();
}

bool TLocationConfig::isValid() const
{
    return !name().isEmpty();
}

QString TLocationConfig::selectByDeviceSql(const QString &value) const
{
    return selectConfigByDeviceSql(tableName(), idColumn(), value);
}

} // namespace Database
} // namespace Veltrix
