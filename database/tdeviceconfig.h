#pragma once

#include "titembase.h"

namespace Veltrix {
namespace Database {

// The configuration an administrator gives one device: a row of
// "DeviceConfigs", keyed by the device's own key (the id is the device's
// DevicesID, the name its DeviceName). Stored with the insert-key flag set.
class TDeviceConfig : public TItemBase
{
public:
    TDeviceConfig() = default;

    QString tableName() const override;
    QString idColumn() const override;
    QString nameColumn() const override;

    TItemMap toMap() const override;
    bool fromMap(const TItemMap &map) override;
    // The device name is not empty.
    bool isValid() const override;

    QString selectByDeviceSql(const QString &value) const override;

    QString hostName() const { return m_hostName; }
    void setHostName(const QString &hostName) { m_hostName = hostName; }
    qint64 locationId() const { return m_locationId; }
    void setLocationId(qint64 id) { m_locationId = id; }
    qint64 emailConfigId() const { return m_emailConfigId; }
    void setEmailConfigId(qint64 id) { m_emailConfigId = id; }
    bool disabled() const { return m_disabled; }
    void setDisabled(bool disabled) { m_disabled = disabled; }

private:
    QString m_hostName;
    qint64 m_locationId = -1;
    qint64 m_emailConfigId = -1;
    bool m_disabled = false;
};

} // namespace Database
} // namespace Veltrix
