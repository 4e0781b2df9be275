#pragma once

#include <QSqlRecord>
#include <QString>

// The outcome of every database operation. Failures are values, never exceptions.
// A default result (ok false, value false, empty texts) means "nothing was done".
struct TORVSQLResult
{
    QSqlRecord record; // first row of a query (field names only when there is no row)
    bool value = false; // the answer: a row was found, or a statement ran
    QString query;      // on failure: the SQL text the driver reports as executed
    bool ok = false;    // ran without a database error
    QString error;      // on failure: the error text

    static TORVSQLResult success(bool value = true);
    static TORVSQLResult withRecord(const QSqlRecord &record, bool value);
    static TORVSQLResult failure(const QString &error, const QString &query = QString());
    // Failure from a driver text, de-duplicated first (see deduplicate()).
    static TORVSQLResult driverFailure(const QString &driverText, const QString &query = QString());

    // Drivers often report one message twice ("x x" or "xx"): with h = half the
    // length, when the first h characters equal the last h, the last h are dropped.
    static QString deduplicate(const QString &text);

    // Replaces `error` only when the result is a failure.
    void setErrorIfFailed(const QString &text);
};
