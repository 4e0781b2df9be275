#pragma once

#include "torvsqlsettings.h"

// A connection record for the SQLite file `path`.
inline TORVSQLSettings sqliteRecord(const QString &name, const QString &path)
{
    return {TORVSQLSettings::SQLite, name, {}, 0, path, {}, {}};
}
inline TORVSQLSettings sqliteRecord(const QString &path)
{
    return sqliteRecord(QStringLiteral("test"), path);
}
