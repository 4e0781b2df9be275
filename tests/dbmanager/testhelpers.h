#pragma once

#include "modalanswerer.h"
#include "tvxsettingsbase.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

// An in-memory settings store; `writable` false makes writeToDisk() fail.
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
    TORVSQLSettingsList dbList() const override { return list; }
    void setDbList(const TORVSQLSettingsList &value) override { list = value; }
    TORVSQLSettings serverDatabase() const override { return server; }
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

template <typename T> T *child(const QObject &parent, const char *name)
{
    T *widget = parent.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}
template <typename T> T *child(const QObject *parent, const char *name)
{
    return child<T>(*parent, name);
}

// Clicks a button of the form and returns the message boxes it showed.
inline QList<ModalAnswerer::Seen> click(const QObject &form, const char *button,
                                        QList<QMessageBox::StandardButton> answers = {})
{
    ModalAnswerer answerer;
    for (QMessageBox::StandardButton answer : answers)
        answerer.answer(answer);
    child<QPushButton>(form, button)->click();
    return answerer.seen();
}

inline QStringList itemTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

// Runs a dialog's exec() (which builds and fills it) and closes it once shown.
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

// Rejects a modal dialog nobody answered after `seconds` and records it in `fired`.
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
