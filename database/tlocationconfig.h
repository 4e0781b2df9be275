#pragma once

#include "titembase.h"

#include <QTimeZone>

namespace Veltrix {
namespace Database {

// A site: a row of "Location" with its time zone and the e-mail
// configuration that applies to its devices.
class TLocationConfig : public TItemBase
{
public:
    TLocationConfig() = default;

    QString tableName() const override;
    QString idColumn() const override;
    QString nameColumn() const override;

    TItemMap toMap() const override;
    bool fromMap(const TItemMap &map) override;
    // The name is not empty.
    bool isValid() const override;

    QString selectByDeviceSql(const QString &value) const override;

    qint64 emailConfigId() const { return m_emailConfigId; }
    void setEmailConfigId(qint64 id) { m_emailConfigId = id; }
    // The zone's identifier as stored (QTimeZone::id(), an IANA name), also
    // one that this machine does not know: it is written back unchanged.
    QString timeZoneId() const { return m_timeZoneId; }
    void setTimeZoneId(const QString &id) { m_timeZoneId = id; }
    // The zone of timeZoneId(); invalid when that is empty or unknown here.
    QTimeZone timeZone() const;
    // An invalid zone clears the identifier.
    void setTimeZone(const QTimeZone &zone);

private:
    qint64 m_emailConfigId = -1;
    QString m_timeZoneId;
};

// The record that a device's configuration points at in `table` (key `key`),
// found by the device's serial (an SQL literal).
QString selectConfigByDeviceSql(const QString &table, const QString &key, const QString &value);

} // namespace Database
} // namespace Veltrix
