#include "dbmanagertest.h"
#include "tdbconnectionform.h"
#include "tdbmanagerform.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLockFile>
#include <QProgressDialog>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTcpServer>
#include <QThread>

#include <ctime>
#include <utility>

using namespace Veltrix::Database;

namespace {

// Built to `version` by the real upgrade, then its Info row changed where given.
QString makeDatabase(const QString &path, int version = 12, int infoVersion = -1, int minimum = -1)
{
    TVXDatabase database(sqliteRecord(QStringLiteral("build"), path));
    TORVSQLResult result = database.UpgradeTo(version);
    if (result.ok && infoVersion >= 0)
        result = database.SetDbVersion(infoVersion);
    if (result.ok && minimum >= 0)
        result = database.Sql()->exec(QStringLiteral("UPDATE Info SET dbSoftwareMinimum=%1").arg(minimum));
    return result.ok ? QString() : result.error;
}

QString text(QWidget *form, const char *label)
{
    return child<QLabel>(form, label)->text();
}

// The connection status, the database state ("vn" for its version) and the buttons that can be used.
QString look(QWidget *form)
{
    QString look = text(form, "lConnectionStatus") + " | " + text(form, "lDatabaseState") + " |";
    look.remove(QRegularExpression("^Connected to: "));
    look.replace(QRegularExpression("Database Version (-?\\d+), Software Library Version 12\\."), "v\\1");
    for (const char *name : {"pbUpgrade", "fEditorButtons", "pbUseSelected"}) {
        if (!child(form, name)->isHidden() && child(form, name)->isEnabled())
            look += QLatin1Char(' ') + QString(name).mid(name[0] == 'f' ? 1 : 2);
    }
    return look;
}

const char *const mustUpgrade = " This database must be upgraded before continuing.";

} // namespace

class TestDBManagerForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void stateTable_data()
    {
        QTest::addColumn<bool>("server");       // the server's variant
        QTest::addColumn<QList<int>>("recipe"); // makeDatabase(): version, info version, minimum
        QTest::addColumn<QString>("look");
        const auto row = [](const char *name, bool server, QList<int> recipe, const QString &look) {
            QTest::newRow(name) << server << recipe << "S (SQLite) | " + look;
        };
        const QString restricted = "This database is restricted for use with Veltrix Server. |";
        row("12", true, {12, -1, -1}, "v12 | EditorButtons");
        row("13, minimum 12", true, {12, 13, 12},
            "v13 This database can be upgraded. | Upgrade EditorButtons");
        row("11", true, {11, -1, -1}, QString("v11") + mustUpgrade + " | Upgrade");
        row("13, minimum 13", true, {12, 13, 13}, "v13 This database is not compatible. |");
        // An empty file has no readable Info row: version -1, restricted.
        row("empty", true, {0}, QString("v-1") + mustUpgrade + " | Upgrade");
        row("base: empty", false, {0}, restricted);
        row("no connections", true, {-1}, QString());
    }
    void stateTable()
    {
        QFETCH(bool, server);
        QFETCH(QList<int>, recipe);
        QFETCH(QString, look);
        const QString file = path(QStringLiteral("state.db"));
        QFile empty(file);
        QVERIFY(recipe.at(0) <= 0 ? empty.open(QIODevice::WriteOnly)
                                  : makeDatabase(file, recipe.at(0), recipe.at(1), recipe.at(2)).isEmpty());
        const auto settings = settingsIn(m_dir->path(),
                                         recipe.at(0) < 0 ? TORVSQLSettingsList()
                                                          : TORVSQLSettingsList{sqliteRecord("S", file)},
                                         sqliteRecord("S", file));
        std::unique_ptr<TDBManagerForm> form(server ? new TVXSDBManagerForm(nullptr, settings.get())
                                                    : new TDBManagerForm(nullptr, settings.get()));
        runAndClose(*form);
        // The only entry is in use: Use Selected is not offered.
        QCOMPARE(::look(form.get()), recipe.at(0) < 0 ? " |  |" : look);
        QCOMPARE(form->findChild<QWidget *>(QStringLiteral("pbManageEmailConfigs")) != nullptr, server);
    }
    void useSelected_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("serverEdited"); // the list's entry of the server's connection
        QTest::newRow("stored") << true << false;
        QTest::newRow("settings not writable") << false << false;
        QTest::newRow("server's entry edited") << true << true;
    }
    // Use Selected offers a connection unlike the server's, compared whole; a failed write is reported.
    void useSelected()
    {
        QFETCH(bool, writable);
        QFETCH(bool, serverEdited);
        QCOMPARE(makeDatabase(path("a.db")) + makeDatabase(path("b.db")), QString());
        const TORVSQLSettingsList list{sqliteRecord("A", path("a.db")), sqliteRecord("B", path("b.db"))};
        const auto settings = settingsIn(m_dir->path(), list,
                                         sqliteRecord("A", path(serverEdited ? "old.db" : "a.db")), writable);
        TVXSDBManagerForm form(nullptr, settings.get());
        runAndClose(form);
        auto *combo = child<QComboBox>(&form, "cbConnections");
        combo->setCurrentIndex(serverEdited ? 0 : 1);
        QCOMPARE(look(&form),
                 QString(serverEdited ? "A" : "B") + " (SQLite) | v12 | EditorButtons UseSelected");
        const QStringList seen = click(&form, "pbUseSelected");
        QCOMPARE(form.connectionChanged(), writable);
        QCOMPARE(look(&form).endsWith("UseSelected"), !writable); // a failed write may be tried again
        QCOMPARE(settings->serverDatabase(),
                 writable ? list.at(combo->currentIndex()) : sqliteRecord("A", path("a.db")));
        QCOMPARE(seen, writable ? QStringList()
                                : QStringList("Error: The settings could not be written to:\n" +
                                              settings->fileName() + "\nThe change was not saved."));
    }
    void manageConnections_data()
    {
        QTest::addColumn<bool>("deleteCurrent");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("stored"); // the names afterwards
        QTest::addColumn<QString>("current");
        QTest::newRow("current text kept") << false << true << QString("A,B,Server") << QString("B (SQLite)");
        QTest::newRow("current text lost") << true << true << QString("A,Server") << QString("A (SQLite)");
        QTest::newRow("settings not writable") << false << false << QString("A,B") << QString("B (SQLite)");
    }
    // The server's connection joins the list, stored however the editor closed, or not kept at all.
    void manageConnections()
    {
        QFETCH(bool, deleteCurrent);
        QFETCH(bool, writable);
        QFETCH(QString, stored);
        QFETCH(QString, current);
        QCOMPARE(makeDatabase(path("a.db")) + makeDatabase(path("b.db")) + makeDatabase(path("s.db")),
                 QString());
        const auto settings =
            settingsIn(m_dir->path(), {sqliteRecord("A", path("a.db")), sqliteRecord("B", path("b.db"))},
                       sqliteRecord("Server", path("s.db")), writable);
        TVXSDBManagerForm form(nullptr, settings.get());
        runAndClose(form);
        child<QComboBox>(&form, "cbConnections")->setCurrentIndex(1);
        bool editorSeen = false;
        QTimer driver; // the connection editor runs modally
        connect(&driver, &QTimer::timeout, this, [&]() {
            auto *editor = qobject_cast<Veltrix::TDBConnectionForm *>(QApplication::activeModalWidget());
            if (!editor || std::exchange(editorSeen, true))
                return;
            if (deleteCurrent) {
                enter(editor, "cbRecords=B (SQLite)");
                child<QPushButton>(editor, "pbDelete")->click(); // answered Yes below
            }
            editor->reject();
        });
        driver.start(10);
        const QStringList seen = click(&form, "pbManageConnections", {QMessageBox::Yes});
        QVERIFY(editorSeen && !form.connectionChanged());
        QCOMPARE(seen.size(), int(deleteCurrent) + int(!writable));
        QCOMPARE(names(settings->dbList()), stored);
        QCOMPARE(look(&form), current + " | v12 | EditorButtons UseSelected");
    }
    void upgrade_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("built"); // says 11; 12: has the tables of 12
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("outcome"); // a part of the box after the upgrade
        const QString upgraded = "The database was upgraded.";
        QTest::newRow("answered No") << false << 11 << QString() << QString();
        QTest::newRow("answered Yes") << true << 11 << QString() << upgraded;
        QTest::newRow("upgrade fails") << true << 12 << QString() << "Database Upgrade Failed.";
#ifndef Q_OS_WIN // which refuses to delete a file SQLite holds open
        QTest::newRow("folder gone") << true << 11 << "folder gone"
                                     << "was not changed.";
#endif
        QTest::newRow("waits for another upgrade") << true << 11 << "another" << upgraded;
    }
    // A window names the stage of the copy and upgrade while this thread runs on; the result names the
    // copy. The editors then open with the settings' zones and units on this thread, owning every connection.
    void upgrade()
    {
        QFETCH(bool, yes);
        QFETCH(int, built);
        QFETCH(QString, condition);
        QFETCH(QString, outcome);
        const bool upgraded = outcome.startsWith("The database was upgraded");
        const QString folder = path(QStringLiteral("sub")), file = folder + QStringLiteral("/old.db");
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(makeDatabase(file, built, 11), QString());
        const auto settings =
            settingsIn(m_dir->path(), {sqliteRecord("Old", file)}, sqliteRecord("Old", file));
        settings->setTimezones({"Pacific/Auckland"});
        settings->setUnitsOfMeasure(7);
        TVXSDBManagerForm form(nullptr, settings.get());
        runAndClose(form);
        // The open database stays readable, but nothing can be written beside it.
        QVERIFY(condition != "folder gone" || (QFile::remove(file) && QDir().rmdir(folder)));
        QLockFile other(file + QStringLiteral(".upgrade.lock"));
        QVERIFY(condition != "another" || other.tryLock(0));
        QString firstStage;
        qint64 longestStop = 0;
        QElapsedTimer sinceBeat;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&]() {
            longestStop = qMax(longestStop, sinceBeat.restart());
            auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            if (progress && firstStage.isEmpty() && !progress->findChild<QPushButton *>())
                firstStage = progress->labelText();
            if (!firstStage.isEmpty())
                other.unlock(); // the other upgrade ends once this one is seen waiting
        });
        sinceBeat.start();
        heartbeat.start(10);
        const QStringList seen = click(&form, "pbUpgrade", {yes ? QMessageBox::Yes : QMessageBox::No});
        const QStringList copies = QDir(folder).entryList({QStringLiteral("*.bak")}, QDir::Files);
        QCOMPARE(copies.size(), yes && condition != "folder gone" ? 1 : 0);
        QVERIFY2(
            seen.size() == (yes ? 2 : 1) &&
                seen.at(0).startsWith("Upgrade Database: Once upgraded the database cannot be reverted") &&
                seen.at(0).contains("A copy of the database file as it is now will be kept next to it.") &&
                seen.value(1).contains(outcome) && seen.value(1).contains(copies.value(0)),
            qPrintable(seen.join('|')));
        if (condition == "another") { // the window stayed alive behind the stage shown, with no Cancel
            QVERIFY2(firstStage.startsWith("Waiting for another upgrade of this database (process "),
                     qPrintable(firstStage));
            QVERIFY2(longestStop < 250, qPrintable(QString::number(longestStop)));
        }
        QCOMPARE(look(&form), upgraded ? "Old (SQLite) | v12 | EditorButtons"
                                       : "Old (SQLite) | v11" + QString(mustUpgrade) + " | Upgrade");
        QVERIFY(condition == "folder gone" ||
                TVXDatabase(sqliteRecord("v", file)).DbVersion() == (upgraded ? 12 : 11));
        QVERIFY(!upgraded || // the copy is the old one
                TVXDatabase(sqliteRecord("c", folder + '/' + copies.value(0))).DbVersion() == 11);
        if (!upgraded)
            return;
        QStringList opened;
        connect(&heartbeat, &QTimer::timeout, this, [&opened]() {
            auto *editor = qobject_cast<Veltrix::TEditorBaseForm *>(QApplication::activeModalWidget());
            if (!editor)
                return;
            opened << editor->windowTitle();
            if (auto *zones = editor->findChild<QComboBox *>(QStringLiteral("cbTimezone")))
                opened.last() += ' ' + zones->itemText(0);
            if (auto *limit = editor->findChild<QDoubleSpinBox *>(QStringLiteral("sbResultLimit")))
                opened.last() += ' ' + QString::number(limit->decimals());
            editor->reject();
        });
        for (const char *button :
             {"pbManageDevices", "pbManageDeviceConfigs", "pbManageLocationConfigs", "pbManageEmailConfigs"})
            click(&form, button);
        QCOMPARE(opened, QStringList({"DB Device", "DB Device Config", "DB Location Config Pacific/Auckland",
                                      "DB Email Config 0"}));
        for (const QString &name : QSqlDatabase::connectionNames())
            QCOMPARE(QSqlDatabase::database(name, false).driver()->thread(), QThread::currentThread());
    }
    // While a server never answers, the dialog is disabled but not frozen nor spinning; then it says why.
    void silentServerKeepsDialogResponsive()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const TORVSQLSettings connection{
            TORVSQLSettings::MSSqlServer, "Silent", "127.0.0.1", silent.serverPort(), "vxs", "vxs", "vxs"};
        const auto settings = settingsIn(m_dir->path(), {connection}, connection);
        TVXSDBManagerForm form(nullptr, settings.get());
        QStringList waiting; // the status each time the disabled dialog was sampled
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&]() {
            if (!form.isEnabled()) // built by then
                waiting << text(&form, "lConnectionStatus");
        });
        sampler.start(50);
        QTimer::singleShot(2500, &silent, &QTcpServer::close);
        const std::clock_t cpu = std::clock();
        runAndClose(form);
        [[maybe_unused]] const double cpuMs = (std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC;
        QVERIFY2(waiting.size() >= 10 && waiting.first() != waiting.last() &&
                     waiting.filter(QRegularExpression("^Connecting\\.*$")).size() == waiting.size(),
                 qPrintable(waiting.join('|')));
        const QString status = text(&form, "lConnectionStatus");
        QVERIFY2(form.isEnabled() &&
                     status.startsWith("Unable to connect to: Silent (Microsoft SQL Server) - "),
                 qPrintable(status));
        // A spinning wait costs a whole core; the bound leaves room for a busy machine.
#ifndef Q_OS_WIN // where std::clock() is the time since the start
        QVERIFY2(cpuMs < 1000, qPrintable(QString::number(cpuMs)));
#endif
    }
};

QTEST_MAIN(TestDBManagerForm)
#include "tst_dbmanagerform.moc"
