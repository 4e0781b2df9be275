#include "tdeviceemailconfig.h"

#include "tlocationconfig.h"

namespace Veltrix {
namespace Database {

namespace {
const QChar listSeparator = QLatin1Char(',');
}

QString TDeviceEmailConfig::tableName() const
{
    return QStringLiteral("EmailConfig");
}

QString TDeviceEmailConfig::idColumn() const
{
    return QStringLiteral("EmailConfigID");
}

QString TDeviceEmailConfig::nameColumn() const
{
    return QStringLiteral("Name");
}

TItemMap TDeviceEmailConfig::toMap() const
{
    TItemMap map;
    map.insert(QStringLiteral("EmailConfigID"), keyText(id()));
    map.insert(QStringLiteral("name"), name());
    map.insert(QStringLiteral("toAddresses"), m_toAddresses.join(listSeparator));
    map.insert(QStringLiteral("SMSAddress"), m_smsAddresses.join(listSeparator));
    map.insert(QStringLiteral("subject"), m_subject);
    map.insert(QStringLiteral("message"), m_message);
    map.insert(QStringLiteral("resultLimit"), limitText(m_resultLimit));
    return map;
}

bool TDeviceEmailConfig::fromMap(const TItemMap &map)
{
    setId(mapKey(map, QStringLiteral("EmailConfigID")));
    setName(mapValue(map, QStringLiteral("Name")));
    m_toAddresses = mapValue(map, QStringLiteral("toAddresses")).split(listSeparator, Qt::SkipEmptyParts);
    m_smsAddresses = mapValue(map, QStringLiteral("SMSAddress")).split(listSeparator, Qt::SkipEmptyParts);
    m_subject = mapValue(map, QStringLiteral("subject"));
    m_message = mapValue(map, QStringLiteral("message"));
    m_resultLimit = mapLimit(map, QStringLiteral("resultLimit"));
    return isValid();
}

bool TDeviceEmailConfig::isValid() const
{
    for (const QString &address : m_toAddresses) {
        if (!address.isEmpty())
            return true;
    }
    return false;
}

QString TDeviceEmailConfig::selectByDeviceSql(const QString &value) const
{
    return selectConfigByDeviceSql(tableName(), idColumn(), value);
}

} // namespace Database
} // namespace Veltrix
