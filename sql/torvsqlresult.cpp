#include "torvsqlresult.h"

TORVSQLResult TORVSQLResult::success(bool value)
{
    TORVSQLResult result;
    result.ok = true;
    result.value = value;
    return result;
}

TORVSQLResult TORVSQLResult::withRecord(const QSqlRecord &record, bool value)
{
    TORVSQLResult result;
    result.record = record;
    result.ok = true;
    result.value = value;
    return result;
}

TORVSQLResult TORVSQLResult::failure(const QString &error, const QString &query)
{
    TORVSQLResult result;
    result.error = error;
    result.query = query;
    return result;
}

TORVSQLResult TORVSQLResult::driverFailure(const QString &driverText, const QString &query)
{
    return failure(deduplicate(driverText), query);
}

QString TORVSQLResult::deduplicate(const QString &text)
{
    const int half = text.size() / 2;
    if (half > 0 && text.leftRef(half) == text.rightRef(half))
        return text.left(text.size() - half);
    return text;
}

void TORVSQLResult::setErrorIfFailed(const QString &text)
{
    if (!ok)
        error = text;
}
