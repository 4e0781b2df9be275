#pragma once

// A version-12 SQLite database in a temporary folder for the record editor
// tests, with helpers to write rows and read what the editors stored.

#include "testhelpers.h"
#include "tvxdatabase.h"

#include <QFile>
#include <QLineEdit>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

const QString awkwardName = QStringLiteral("O'Brien's \"Café\" – Zürich ÅØ");

class RecordEditorFixture
{
public:
    QTemporaryDir dir;
    std::unique_ptr<Veltrix::Database::TVXDatabase> db;

    // A fresh copy of a database built once per test program.
    bool create(const QString &name)
    {
        const QString path = dir.filePath(name + QStringLiteral(".db"));
        const QString built = dir.filePath(QStringLiteral("version12.template"));
        if (!QFile::exists(built)) {
            Veltrix::Database::TVXDatabase builder(sqliteConnection(QStringLiteral("template"), built));
            const TORVSQLResult result = builder.CreateOrUpgrade();
            if (!result.ok || builder.DbVersion() != 12) {
                qWarning() << "building the database failed:" << result.error;
                QFile::remove(built);
                return false;
            }
        }
        db.reset();
        if (!QFile::copy(built, path))
            return false;
        db = std::make_unique<Veltrix::Database::TVXDatabase>(sqliteConnection(name, path));
        return db->IsOpen() && db->DbVersion() == 12;
    }
    TORVSQLBase *sql() const { return db->Sql(); }

    // Runs a statement and returns the new row's key.
    qint64 insert(const QString &statement, const QVariantList &values = QVariantList())
    {
        const TORVSQLResult result = sql()->exec(statement, values);
        if (!result.ok)
            qWarning() << statement << result.error;
        return sql()->selectFirst(QStringLiteral("SELECT last_insert_rowid()")).record.value(0).toLongLong();
    }
    qint64 device(const QString &serial)
    {
        return insert(QStringLiteral("INSERT INTO Devices (serial, connected) VALUES (?, 0)"), {serial});
    }
    qint64 location(const QString &name, const QVariant &emailId = QVariant())
    {
        return insert(QStringLiteral("INSERT INTO Location (name, EmailConfigID) VALUES (?, ?)"),
                      {name, emailId});
    }
    qint64 email(const QString &name)
    {
        return insert(QStringLiteral("INSERT INTO EmailConfig (Name, toAddresses) VALUES (?, 'a@b.com')"),
                      {name});
    }
    void config(qint64 deviceId, const QString &name, const QVariant &locationId = QVariant())
    {
        insert(
            QStringLiteral("INSERT INTO DeviceConfigs (DevicesID, DeviceName, LocationID) VALUES (?, ?, ?)"),
            {deviceId, name, locationId});
    }
    // The first column of the first row; "NULL" for a null value.
    QString value(const QString &statement, const QVariantList &values = QVariantList()) const
    {
        const TORVSQLResult result = sql()->selectFirst(statement, values);
        if (!result.ok)
            return QStringLiteral("ERROR: ") + result.error;
        if (!result.value)
            return QStringLiteral("NO ROW");
        const QVariant v = result.record.value(0);
        return v.isNull() ? QStringLiteral("NULL") : v.toString();
    }
    int count(const QString &table) const
    {
        return value(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
    }
};

// Selects the item of `box` whose data is `id`.
inline bool selectId(QComboBox *box, qint64 id)
{
    const int index = box->findData(QVariant(id));
    box->setCurrentIndex(index);
    return index >= 0;
}

// Checks that exactly one "Error Saving" box with `error` was shown.
#define VERIFY_SAVE_ERROR(seen, error)                                                                       \
    do {                                                                                                     \
        const auto seenBoxes = (seen);                                                                       \
        QCOMPARE(seenBoxes.size(), 1);                                                                       \
        QCOMPARE(seenBoxes.first().title, QStringLiteral("Error Saving"));                                   \
        QCOMPARE(seenBoxes.first().text, QStringLiteral("Failed to save.\n") + (error));                     \
    } while (false)
