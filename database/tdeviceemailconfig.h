#pragma once

#include "titembase.h"

#include <QStringList>

namespace Veltrix {
namespace Database {

// Who is mailed or texted about results, and above which result: a row of
// "EmailConfig".
class TDeviceEmailConfig : public TItemBase
{
public:
    TDeviceEmailConfig() = default;

    QString tableName() const override;
    QString idColumn() const override;
    QString nameColumn() const override;

    TItemMap toMap() const override;
    bool fromMap(const TItemMap &map) override;
    // At least one e-mail address is not empty.
    bool isValid() const override;

    QString selectByDeviceSql(const QString &value) const override;

    QStringList toAddresses() const { return m_toAddresses; }
    void setToAddresses(const QStringList &addresses) { m_toAddresses = addresses; }
    QStringList smsAddresses() const { return m_smsAddresses; }
    void setSmsAddresses(const QStringList &addresses) { m_smsAddresses = addresses; }
    QString subject() const { return m_subject; }
    void setSubject(const QString &subject) { m_subject = subject; }
    QString message() const { return m_message; }
    void setMessage(const QString &message) { m_message = message; }
    // Stored with three significant digits.
    double resultLimit() const { return m_resultLimit; }
    void setResultLimit(double limit) { m_resultLimit = limit; }

private:
    QStringList m_toAddresses;
    QStringList m_smsAddresses;
    QString m_subject;
    QString m_message;
    double m_resultLimit = 0.0;
};

} // namespace Database
} // namespace Veltrix
