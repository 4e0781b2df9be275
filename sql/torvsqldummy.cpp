#include "torvsqldialects.h"

TORVSQLDummy::TORVSQLDummy(const TORVSQLSettings &settings)
{
    applySettings(settings);
}

QString TORVSQLDummy::createTableSql(const TORVSQLTable &) const
{
    return QString();
}

QString TORVSQLDummy::typeName(TORVSQLDataType, quint32) const
{
    return QString();
}
