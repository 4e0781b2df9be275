#pragma once

// A plain connection on a database file, and the hand-written databases and
// expectations of data/.

#include "sqliterecord.h"
#include "testfiles.h"
#include "tvxdatabase.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace DatabaseTest {

inline QString dataFile(const QString &name)
{
    return QString::fromUtf8(
        readFile(qEnvironmentVariable("VX_SOURCE_DIR") + "/tests/database/data/" + name));
}

// A plain Qt connection on a file, for looking at what the code under test did.
class RawDb
{
public:
    explicit RawDb(const QString &path) : m_name(QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawDb() { QSqlDatabase::removeDatabase(m_name); }
    bool exec(const QString &sql) const { return QSqlQuery(QSqlDatabase::database(m_name, false)).exec(sql); }
    // Every row of `sql`, its columns joined with "|" and NULL written as "NULL".
    QStringList rows(const QString &sql) const
    {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        if (!query.exec(sql))
            return {"ERROR: " + query.lastError().text()};
        QStringList out;
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
            out << fields.join('|');
        }
        return out;
    }
    QString value(const QString &sql) const { return rows(sql).value(0); }

private:
    QString m_name;
};

// Runs data/<name> on the file `path`: the databases of data/v<version>.sql
// are written by hand as that version's software left them.
inline bool runScript(const QString &path, const QString &name)
{
    const RawDb raw(path);
    const QString script = dataFile(name);
    for (const QString &sql : script.split(";\n", Qt::SkipEmptyParts)) {
        if (!raw.exec(sql))
            return false;
    }
    return !script.isEmpty();
}

} // namespace DatabaseTest
