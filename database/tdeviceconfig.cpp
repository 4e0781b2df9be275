#include "tdeviceconfig.h"

namespace Veltrix {
namespace Database {

QString TDeviceConfig::tableName() const
{
    return QStringLiteral("DeviceConfigs");
}

QString TDeviceConfig::idColumn() const
{
    return QStringLiteral("DevicesID");
}

QString TDeviceConfig::nameColumn() const
{
    return QStringLiteral("DeviceName");
}

TItemMap TDeviceConfig::toMap() const
{
    TItemMap map;
    map.insert(QStringLiteral("DevicesID"), keyText(id()));
    map.insert(QStringLiteral("LocationID"), keyText(m_locationId));
    map.insert(QStringLiteral("EmailConfigID"), keyText(m_emailConfigId));
    map.insert(QStringLiteral("DeviceName"), name());
    map.insert(QStringLiteral("HostName"), m_hostName);
    map.insert(QStringLiteral("Disabled"), m_disabled ? QStringLiteral("1") : QStringLiteral("0"));
    return map;
}

bool TDeviceConfig::fromMap(const TItemMap &map)
{
    setId(mapKey(map, QStringLiteral("DevicesID")));
    m_locationId = mapKey(map, QStringLiteral("LocationID"));
    m_emailConfigId = mapKey(map, QStringLiteral("EmailConfigID"));
    setName(mapValue(map, QStringLiteral("DeviceName")));
    m_hostName = mapValue(map, QStringLiteral("HostName"));
    m_disabled = mapValue(map, QStringLiteral("Disabled")).toInt() != 0;
    return isValid();
}

bool TDeviceConfig::isValid() const
{
    return !name().isEmpty();
}

QString TDeviceConfig::selectByDeviceSql(const QString &value) const
{
    return QStringLiteral(
               "SELECT C.*, D.Serial AS Serial FROM DeviceConfigs C LEFT JOIN Devices D ON "
               "C.DevicesID = D.DevicesID WHERE D.DevicesID = (SELECT DevicesID FROM Devices WHERE "
               "serial = ") +
           value + QStringLiteral("); ");
}

} // namespace Database
} // namespace Veltrix
