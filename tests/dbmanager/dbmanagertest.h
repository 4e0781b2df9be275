#pragma once

#include "sqliterecord.h"
#include "testfiles.h"
#include "tvxdatabase.h"
#include "tvxssettings.h"
#include "widgettest.h"

#include <QComboBox>
#include <QDialog>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// A settings store in `folder` holding `list` and `server`; unless `writable`, one that cannot be written.
inline std::unique_ptr<Veltrix::Server::TVXSSettings> settingsIn(const QString &folder,
                                                                 const TORVSQLSettingsList &list,
                                                                 const TORVSQLSettings &server,
                                                                 bool writable = true)
{
    QFile blocker(folder + "/blocked");
    if (!writable && !blocker.open(QIODevice::WriteOnly))
        return nullptr;
    auto settings =
        std::make_unique<Veltrix::Server::TVXSSettings>(blocker.fileName() + "/VeltrixServer.ini");
    settings->setDbList(list);
    settings->setServerDatabase(server);
    return settings;
}

inline QString names(const TORVSQLSettingsList &list)
{
    QStringList result;
    for (const TORVSQLSettings &entry : list)
        result << entry.connectionName;
    return result.join(',');
}

inline QStringList itemTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

// Runs a dialog's exec(), which builds and fills it, and closes it once shown.
inline void runAndClose(QDialog &dialog)
{
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, &dialog, [&dialog]() {
        if (dialog.isVisible())
            dialog.done(0);
    });
    closer.start(10);
    dialog.exec();
}

inline QStringList saveError(const QString &error)
{
    return {QStringLiteral("Error Saving: Failed to save.\n") + error};
}

// A new version-12 SQLite database for each case: rows written, what the editors stored read.
class RecordDatabase
{
public:
    QTemporaryDir dir;
    std::unique_ptr<Veltrix::Database::TVXDatabase> db;

    bool create(const QString &name)
    {
        db.reset();
        db = std::make_unique<Veltrix::Database::TVXDatabase>(sqliteRecord(name, dir.filePath(name)));
        return db->CreateOrUpgrade().ok && db->DbVersion() == 12;
    }
    // Runs a statement; the new row's key.
    qint64 insert(const QString &statement, const QVariantList &values = {})
    {
        db->Sql()->exec(statement, values);
        return value(QStringLiteral("SELECT last_insert_rowid()")).toLongLong();
    }
    qint64 device(const QString &serial)
    {
        return insert("INSERT INTO Devices (serial, connected) VALUES (?, 0)", {serial});
    }
    qint64 email(const QString &name)
    {
        return insert("INSERT INTO EmailConfig (Name, toAddresses) VALUES (?, 'a@b.com')", {name});
    }
    qint64 location(const QString &name, const QVariant &mail = {})
    {
        return insert("INSERT INTO Location (name, EmailConfigID) VALUES (?, ?)", {name, mail});
    }
    void config(qint64 device, const QString &name, const QVariant &location = {}, const QVariant &mail = {})
    {
        insert("INSERT INTO DeviceConfigs (DevicesID, DeviceName, LocationID, EmailConfigID) VALUES (?, ?, "
               "?, ?)",
               {device, name, location, mail});
    }
    // The first column of the first row as text; "NULL" for a null value.
    QString value(const QString &statement, const QVariantList &values = {}) const
    {
        const TORVSQLResult result = db->Sql()->selectFirst(statement, values);
        if (!result.ok || !result.value)
            return QStringLiteral("ERROR ") + result.error;
        return result.record.value(0).isNull() ? QStringLiteral("NULL") : result.record.value(0).toString();
    }
};

// Selects the item of `box` whose data is `id`.
inline bool selectId(QComboBox *box, qint64 id)
{
    box->setCurrentIndex(box->findData(QVariant(id)));
    return box->currentIndex() >= 0;
}
