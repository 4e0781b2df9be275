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
    map.insert(QStringLiteral("Timezone"), m_timeZoneId);
    return map;
}

bool TLocationConfig::fromMap(const TItemMap &map)
{
    setId(mapKey(map, QStringLiteral("LocationID")));
    m_emailConfigId = mapKey(map, QStringLiteral("EmailConfigID"));
    setName(mapValue(map, QStringLiteral("name")));
    m_timeZoneId = mapValue(map, QStringLiteral("Timezone"));
    return isValid();
}

QTimeZone TLocationConfig::timeZone() const
{
    // QTimeZone would take an empty identifier for the machine's zone.
    return m_timeZoneId.isEmpty() ? QTimeZone() : QTimeZone(m_timeZoneId.toUtf8());
}

void TLocationConfig::setTimeZone(const QTimeZone &zone)
{
    m_timeZoneId = zone.isValid() ? QString::fromUtf8(zone.id()) : QString();
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
