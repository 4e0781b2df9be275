#include "tdevicestate.h"

#include <QTimeZone>

namespace Veltrix {
namespace Database {

namespace {
// States in which a device counts as not connected: 0, 6 and 7.
constexpr unsigned disconnectedStates = 193;
constexpr int serialLength = 8;
} // namespace

TDeviceState::TDeviceState(const QString &serial, const QDateTime &lastUpdated, int state)
    : TItemBase(-1, serial), m_lastUpdated(lastUpdated), m_state(state)
{
    m_lastUpdated.setTimeZone(QTimeZone::systemTimeZone());
}

QString TDeviceState::tableName() const
{
    return QStringLiteral("Devices");
}

QString TDeviceState::idColumn() const
{
    return QStringLiteral("DevicesID");
}

QString TDeviceState::nameColumn() const
{
    return QStringLiteral("serial");
}

QString TDeviceState::connectedText(int state)
{
    if (state > 7)
        return QStringLiteral("1");
    if (state >= 0 && ((disconnectedStates >> state) & 1u))
        return QStringLiteral("0");
    return QStringLiteral("1");
}

TItemMap TDeviceState::toMap() const
{
    TItemMap map;
    map.insert(QStringLiteral("serial"), name());
    map.insert(QStringLiteral("connected"), connectedText(m_state));
    map.insert(QStringLiteral("lastUpdated"), m_lastUpdated.toString(Qt::ISODate));
    map.insert(QStringLiteral("state"), QString::number(m_state));
    return map;
}

bool TDeviceState::fromMap(const TItemMap &map)
{
    setId(mapKey(map, idColumn()));
    setName(mapValue(map, QStringLiteral("serial")));
    m_lastUpdated = QDateTime::fromString(mapValue(map, QStringLiteral("lastUpdated")), Qt::ISODate);
    m_state = mapValue(map, QStringLiteral("state")).toInt();
    return isValid();
}

bool TDeviceState::isValidSerial(const QString &serial)
{
    // toInt() alone would let a sign or blanks through ("-1234567", " 1234567").
    if (serial.size() != serialLength)
        return false;
    for (const QChar c : serial) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool TDeviceState::isValid() const
{
    return isValidSerial(name());
}

QString TDeviceState::selectColumnsSql() const
{
    return QStringLiteral("SELECT DevicesID, serial, lastUpdated, state FROM ") + tableName();
}

QString TDeviceState::selectAllSql() const
{
    return selectColumnsSql() + QStringLiteral(" ORDER BY ") + nameColumn() + QStringLiteral(";");
}

QString TDeviceState::selectByIdSql(qint64 id) const
{
    return selectColumnsSql() + QStringLiteral(" WHERE ") + idColumn() + QStringLiteral(" = ") +
           QString::number(id) + QStringLiteral(";");
}

QString TDeviceState::selectByNameSql(const QString &value) const
{
    return selectColumnsSql() + QStringLiteral(" WHERE ") + nameColumn() + QStringLiteral(" = ") + value +
           QStringLiteral(";");
}

QString TDeviceState::selectByDeviceSql(const QString &value) const
{
    return selectByNameSql(value);
}

} // namespace Database
} // namespace Veltrix
