#pragma once

#include "titembase.h"

#include <QList>
#include <QPair>

namespace Veltrix {
namespace Database {

// One request header: name and value.
using TNotificationHeader = QPair<QString, QString>;
using TNotificationHeaders = QList<TNotificationHeader>;

// A web request sent about results (address, method, headers, message): a
// row of "NotificationConfig". No editor of this program changes them.
class TNotificationConfig : public TItemBase
{
public:
    TNotificationConfig() = default;

    QString tableName() const override;
    QString idColumn() const override;
    QString nameColumn() const override;

    TItemMap toMap() const override;
    bool fromMap(const TItemMap &map) override;
    // The url is not empty and the method is POST, GET or PUT (any case).
    bool isValid() const override;

    QString selectByDeviceSql(const QString &value) const override;

    QString url() const { return m_url; }
    void setUrl(const QString &url) { m_url = url; }
    QString method() const { return m_method; }
    void setMethod(const QString &method) { m_method = method; }
    TNotificationHeaders headers() const { return m_headers; }
    void setHeaders(const TNotificationHeaders &headers) { m_headers = headers; }
    QString message() const { return m_message; }
    void setMessage(const QString &message) { m_message = message; }
    double resultLimit() const { return m_resultLimit; }
    void setResultLimit(double limit) { m_resultLimit = limit; }

    // "name: value" pairs joined with ",".
    static QString headersText(const TNotificationHeaders &headers);
    // The entries of a headers text; an entry without a name and a value is skipped.
    static TNotificationHeaders parseHeaders(const QString &text);

private:
    QString m_url;
    QString m_method;
    TNotificationHeaders m_headers;
    QString m_message;
    double m_resultLimit = 0.0;
};

} // namespace Database
} // namespace Veltrix
