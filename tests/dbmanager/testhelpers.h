#pragma once

#include "tvxsettingsbase.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <memory>

// An in-memory settings store. `writable` false makes writeToDisk() fail the
// way a file without write rights does.
class FakeSettings : public Veltrix::TVXSettingsBase
{
public:
    TORVSQLSettingsList list;
    TORVSQLSettings server;
    QStringList zones{QStringLiteral("Australia/Perth")};
    int units = 0;
    bool writable = true;
    int writes = 0;

    void createDefaults() override {}
    QString settingsPath() const override { return QStringLiteral("/fake/"); }
    int unitsOfMeasure() const override { return units; }
    void setUnitsOfMeasure(int value) override { units = value; }
    QStringList timezones() const override { return zones; }
    void setTimezones(const QStringList &value) override { zones = value; }
    TORVSQLSettingsList dbList() override { return list; }
    void setDbList(const TORVSQLSettingsList &value) override { list = value; }
    TORVSQLSettings serverDatabase() override { return server; }
    void setServerDatabase(const TORVSQLSettings &value) override { server = value; }
    bool writeToDisk() override
    {
        ++writes;
        return writable;
    }
    QString settingsFileName() const override { return QStringLiteral("/fake/VeltrixServer.ini"); }
};

inline TORVSQLSettings sqliteConnection(const QString &name, const QString &path)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = name;
    settings.databaseName = path;
    return settings;
}

// Runs a dialog's exec() (which builds and fills it) and closes it as soon as
// its modal loop shows it. The widgets stay for the test to use.
inline int runAndClose(QDialog &dialog)
{
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, &dialog, [&dialog]() {
        if (dialog.isVisible())
            dialog.done(0);
    });
    closer.start();
    return dialog.exec();
}

// Turns a modal dialog that nobody answers into a test failure instead of a
// hang: after `seconds`, every modal dialog still open is rejected and the
// test is told so through `fired`.
class HangGuard
{
public:
    explicit HangGuard(int seconds = 30)
    {
        m_timer.setInterval(seconds * 1000);
        QObject::connect(&m_timer, &QTimer::timeout, [this]() {
            m_timer.setInterval(200);
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                fired = true;
                qWarning("HangGuard: rejecting the unanswered dialog \"%s\"",
                         qPrintable(dialog->windowTitle()));
                dialog->reject();
            }
        });
        m_timer.start();
    }
    bool fired = false;

private:
    QTimer m_timer;
};
