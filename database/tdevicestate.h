#pragma once

#include "titembase.h"

#include <QDateTime>

namespace Veltrix {
namespace Database {

// One tester known to the server: a row of "Devices". The name is the serial
// number; the state is written by the service.
class TDeviceState : public TItemBase
{
public:
    // The time is given the machine's time zone, keeping its date and clock time.
    explicit TDeviceState(const QString &serial = QString(), const QDateTime &lastUpdated = QDateTime(),
                          int state = 0);

    QString tableName() const override;
    QString idColumn() const override;
    QString nameColumn() const override;

    TItemMap toMap() const override;
    bool fromMap(const TItemMap &map) override;
    // The serial number is exactly eight decimal digits.
    bool isValid() const override;

    QString selectAllSql() const override;
    QString selectByIdSql(qint64 id) const override;
    QString selectByNameSql(const QString &value) const override;
    QString selectByDeviceSql(const QString &value) const override;

    QDateTime lastUpdated() const { return m_lastUpdated; }
    int state() const { return m_state; }

    // Whether `serial` is a valid serial number: eight characters, each an ASCII digit.
    static bool isValidSerial(const QString &serial);
    // The "connected" column for a state: "0" for the states 0, 6 and 7, else "1".
    static QString connectedText(int state);

private:
    QString selectColumnsSql() const;

    QDateTime m_lastUpdated;
    int m_state = 0;
};

} // namespace Database
} // namespace Veltrix
