#pragma once

// A version-12 SQLite database in a temporary folder for the record editor
// tests, with helpers to write rows and look at what the editors stored.

#include "modalanswerer.h"
#include "testhelpers.h"
#include "tvxdatabase.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
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

    // A fresh database (a copy of one built once per test program); false
    // (with a warning) when building it failed.
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

template <typename T> T *child(QObject &parent, const char *name)
{
    T *widget = parent.findChild<T *>(QLatin1String(name));
    if (!widget)
        qWarning() << "no child" << name;
    return widget;
}

// Clicks a button of the editor and returns the boxes it showed.
inline QList<ModalAnswerer::Seen> click(QObject &form, const char *button,
                                        QList<QMessageBox::StandardButton> answers = {})
{
    ModalAnswerer answerer;
    for (QMessageBox::StandardButton answer : answers)
        answerer.answer(answer);
    child<QPushButton>(form, button)->click();
    return answerer.seen();
}

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
        QCOMPARE((seen).size(), 1);                                                                          \
        QCOMPARE((seen).first().title, QStringLiteral("Error Saving"));                                      \
        QCOMPARE((seen).first().text, QStringLiteral("Failed to save.\n") + (error));                        \
    } while (false)
