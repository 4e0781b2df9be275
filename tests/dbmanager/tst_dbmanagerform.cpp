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
QString makeDatabase(const QString &path, int version = 12, int infoVersion = -1, int minimum = -1,
                     bool restricted = false)
{
    TVXDatabase database(sqliteConnection(QStringLiteral("build"), path));
    TORVSQLResult result = database.UpgradeTo(version);
    if (result.ok && infoVersion >= 0)
        result = database.SetDbVersion(infoVersion);
    if (result.ok && minimum >= 0)
        result = database.Sql()->exec(QStringLiteral("UPDATE Info SET dbSoftwareMinimum=%1").arg(minimum));
    if (result.ok && restricted)
        result = database.Sql()->exec(QStringLiteral("UPDATE Info SET restrictUtility=1"));
    return result.ok ? QString() : result.error;
}

QString text(QWidget *form, const char *label)
{
    return child<QLabel>(form, label)->text();
}

// What the dialog shows: the connection status, the database state with
// "Database Version n, Software Library Version 12." as "vn", and the buttons
// that can be used.
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
        QTest::addColumn<QList<int>>("recipe"); // makeDatabase(): version, info version, minimum, restricted
        QTest::addColumn<QString>("look");
        const QString restricted = "This database is restricted for use with Veltrix Server. |";
        for (const bool server : {false, true}) {
            const auto row = [server](const char *name, QList<int> recipe, const QString &look) {
                QTest::addRow("%s: %s", server ? "server" : "base", name)
                    << server << recipe << "S (SQLite) | " + look;
            };
            row("12", {12, -1, -1, 0}, "v12 | EditorButtons");
            row("13, minimum 12", {12, 13, 12, 0},
                "v13 This database can be upgraded. | Upgrade EditorButtons");
            row("11", {11, -1, -1, 0}, QString("v11") + mustUpgrade + " | Upgrade");
            row("13, minimum 13", {12, 13, 13, 0}, "v13 This database is not compatible. |");
            row("12 restricted", {12, -1, -1, 1}, server ? "v12 | EditorButtons" : restricted);
            // An empty file has no readable Info row: version -1, restricted.
            row("empty", {0}, server ? QString("v-1") + mustUpgrade + " | Upgrade" : restricted);
        }
    }
    void stateTable()
    {
        QFETCH(bool, server);
        QFETCH(QList<int>, recipe);
        QFETCH(QString, look);
        const QString file = path(QStringLiteral("state.db"));
        QFile empty(file);
        QVERIFY(recipe.at(0) == 0
                    ? empty.open(QIODevice::WriteOnly)
                    : makeDatabase(file, recipe.at(0), recipe.at(1), recipe.at(2), recipe.at(3)).isEmpty());
        const auto settings =
            settingsIn(m_dir->path(), {sqliteConnection("S", file)}, sqliteConnection("S", file));
        std::unique_ptr<TDBManagerForm> form(server ? new TVXSDBManagerForm(nullptr, settings.get())
                                                    : new TDBManagerForm(nullptr, settings.get()));
        runAndClose(*form);
        QCOMPARE(::look(form.get()), look); // the only entry is in use: Use Selected is not offered
        QCOMPARE(form->findChild<QWidget *>(QStringLiteral("pbManageEmailConfigs")) != nullptr, server);
    }
    void useSelected_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("serverEdited"); // the list's entry of the server's connection
        const auto row = [](const char *name, bool writable, bool edited) {
            QTest::newRow(name) << writable << edited;
        };
        row("stored", true, false);
        row("settings not writable", false, false);
        row("server's entry edited", true, true);
    }
    // Use Selected is offered for a usable database other than the server's
    // connection, compared whole; a failed settings write is reported, not hidden.
    void useSelected()
    {
        QFETCH(bool, writable);
        QFETCH(bool, serverEdited);
        QCOMPARE(makeDatabase(path("a.db")) + makeDatabase(path("b.db")) + makeDatabase(path("c.db"), 11) +
                     makeDatabase(path("d.db"), 12, 13, 12),
                 QString());
        const TORVSQLSettingsList list{
            sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db")),
            sqliteConnection("C", path("c.db")), sqliteConnection("D", path("d.db"))};
        const auto settings = settingsIn(
            m_dir->path(), list, sqliteConnection("A", path(serverEdited ? "old.db" : "a.db")), writable);
        TVXSDBManagerForm form(nullptr, settings.get());
        runAndClose(form);
        auto *combo = child<QComboBox>(&form, "cbConnections");
        QStringList looks{look(&form)};
        for (const int index : serverEdited ? QList<int>() : QList<int>{2, 3, 1}) {
            combo->setCurrentIndex(index);
            looks << look(&form);
        }
        QCOMPARE(looks.join('\n'),
                 serverEdited ? "A (SQLite) | v12 | EditorButtons UseSelected"
                              : "A (SQLite) | v12 | EditorButtons\nC (SQLite) | v11" + QString(mustUpgrade) +
                                    " | Upgrade\nD (SQLite) | v13 This database can be upgraded. "
                                    "| Upgrade EditorButtons UseSelected\nB (SQLite) | v12 | "
                                    "EditorButtons UseSelected");
        const QStringList seen = click(&form, "pbUseSelected");
        QCOMPARE(form.connectionChanged(), writable);
        QCOMPARE(look(&form).endsWith("UseSelected"), !writable); // a failed write may be tried again
        QCOMPARE(settings->serverDatabase(),
                 writable ? list.at(combo->currentIndex()) : sqliteConnection("A", path("a.db")));
        QCOMPARE(text(&form, "lApplicationConnection"),
                 "Application Connection: " + settings->serverDatabase().displayName());
        QCOMPARE(seen, writable ? QStringList()
                                : QStringList("Error: The settings could not be written to:\n" +
                                              settings->fileName() + "\nThe change was not saved."));
    }
    // Nothing to connect to: the state of no database, and Use Selected does nothing.
    void emptyConnectionList()
    {
        const auto settings =
            settingsIn(m_dir->path(), {}, sqliteConnection("Server Default", path("vxs.db")), false);
        TVXSDBManagerForm form(nullptr, settings.get());
        runAndClose(form);
        QCOMPARE(look(&form), QStringLiteral(" |  |"));
        child(&form, "pbUseSelected")->setEnabled(true);
        QCOMPARE(click(&form, "pbUseSelected"), QStringList()); // no attempt to write
        QVERIFY(!form.connectionChanged() && !QFile::exists(path("vxs.db")));
    }
    void manageConnections_data()
    {
        QTest::addColumn<bool>("deleteCurrent");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("stored"); // the names afterwards
        QTest::addColumn<QString>("current");
        const auto row = [](const char *name, bool deleteCurrent, bool writable, const char *stored,
                            const char *current) {
            QTest::newRow(name) << deleteCurrent << writable << stored << current;
        };
        row("current text kept", false, true, "A,B,Server", "B (SQLite)");
        row("current text lost", true, true, "A,Server", "A (SQLite)");
        row("settings not writable", false, false, "A,B", "B (SQLite)");
    }
    // The application connection joins the list, which is stored sorted
    // whichever way the editor closed; a list that could not be written is not kept.
    void manageConnections()
    {
        QFETCH(bool, deleteCurrent);
        QFETCH(bool, writable);
        QFETCH(QString, stored);
        QFETCH(QString, current);
        QCOMPARE(makeDatabase(path("a.db")) + makeDatabase(path("b.db")) + makeDatabase(path("s.db")),
                 QString());
        const auto settings = settingsIn(
            m_dir->path(), {sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db"))},
            sqliteConnection("Server", path("s.db")), writable);
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
                child<QComboBox>(editor, "cbRecords")->setCurrentText(QStringLiteral("B (SQLite)"));
                child<QPushButton>(editor, "pbDelete")->click(); // answered Yes below
            }
            editor->reject();
        });
        driver.start(10);
        const QStringList seen = click(&form, "pbManageConnections", {QMessageBox::Yes});
        QStringList names;
        for (const TORVSQLSettings &entry : settings->dbList())
            names << entry.connectionName;
        QVERIFY(editorSeen && !form.connectionChanged());
        QCOMPARE(seen.size(), int(deleteCurrent) + int(!writable));
        QCOMPARE(names.join(','), stored);
        QCOMPARE(itemTexts(child<QComboBox>(&form, "cbConnections")).size(), names.size());
        QCOMPARE(look(&form), current + " | v12 | EditorButtons UseSelected");
    }
    void upgrade_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("built"); // says 11; 12: has the tables of 12
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("version"); // afterwards
        QTest::newRow("answered No") << int(QMessageBox::No) << 11 << QString() << 11;
        QTest::newRow("answered Yes") << int(QMessageBox::Yes) << 11 << QString() << 12;
        QTest::newRow("upgrade fails") << int(QMessageBox::Yes) << 12 << QString() << 11;
        QTest::newRow("folder gone") << int(QMessageBox::Yes) << 11 << QString("folder gone") << 11;
        QTest::newRow("waits for another upgrade") << int(QMessageBox::Yes) << 11 << QString("another") << 12;
    }
    // The copy and the upgrade run behind a window naming their stage, while
    // this thread keeps processing events; the result names the copy.
    void upgrade()
    {
        QFETCH(int, answer);
        QFETCH(int, built);
        QFETCH(QString, condition);
        QFETCH(int, version);
        const QString folder = path(QStringLiteral("sub")), file = folder + QStringLiteral("/old.db");
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(makeDatabase(file, built, 11), QString());
        const auto settings =
            settingsIn(m_dir->path(), {sqliteConnection("Old", file)}, sqliteConnection("Old", file));
        TVXSDBManagerForm form(nullptr, settings.get());
        runAndClose(form);
        // The open database stays readable, but nothing can be written beside it.
        QVERIFY(condition != "folder gone" || (QFile::remove(file) && QDir().rmdir(folder)));
        QLockFile other(file + QStringLiteral(".upgrade.lock"));
        QVERIFY(condition != "another" || other.tryLock(0));
        QTimer unlock;
        unlock.callOnTimeout([&other]() { other.unlock(); });
        unlock.start(500);
        QString firstStage;
        qint64 longestStop = 0;
        QElapsedTimer sinceBeat;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&]() {
            longestStop = qMax(longestStop, sinceBeat.restart());
            auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            if (progress && firstStage.isEmpty() && !progress->findChild<QPushButton *>())
                firstStage = progress->labelText();
        });
        sinceBeat.start();
        heartbeat.start(10);
        const QStringList seen = click(&form, "pbUpgrade", {QMessageBox::StandardButton(answer)});
        const bool yes = answer == QMessageBox::Yes;
        QVERIFY(seen.value(0).startsWith("Upgrade Database: Once upgraded the database cannot be reverted"));
        const QStringList copies = QDir(folder).entryList({QStringLiteral("*.bak")}, QDir::Files);
        QCOMPARE(copies.size(), yes && condition != "folder gone" ? 1 : 0);
        QVERIFY2(
            seen.size() == (yes ? 2 : 1) &&
                (!yes ||
                 (seen.at(1).startsWith("Upgrade Database: Database Upgrade Failed.\n") == (version != 12) &&
                  seen.at(1).contains(condition == "folder gone" ? "not changed" : copies.value(0)))),
            qPrintable(seen.join('|')));
        if (condition == "another") { // the window stayed alive behind the stage shown, with no Cancel
            QVERIFY2(firstStage.startsWith("Waiting for another upgrade of this database (process "),
                     qPrintable(firstStage));
            QVERIFY2(longestStop < 250, qPrintable(QString::number(longestStop)));
        }
        QCOMPARE(look(&form), version == 12 ? "Old (SQLite) | v12 | EditorButtons"
                                            : "Old (SQLite) | v11" + QString(mustUpgrade) + " | Upgrade");
        const auto versionOf = [](const QString &file) {
            return TVXDatabase(sqliteConnection("v", file)).DbVersion();
        };
        QVERIFY(condition == "folder gone" || versionOf(file) == version);
        QVERIFY(version != 12 || versionOf(folder + '/' + copies.value(0)) == 11); // the copy is the old one
    }
    // Each editor button re-checks the connection on a worker and opens its
    // editor, with the settings' time zones and units, on the dialog's
    // thread, which owns every connection afterwards.
    void editorsOpenOnTheDialogsThread()
    {
        QCOMPARE(makeDatabase(path("a.db")) + makeDatabase(path("b.db"), 11), QString());
        const auto settings = settingsIn(
            m_dir->path(), {sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db"))},
            sqliteConnection("A", path("a.db")));
        settings->setTimezones({"Pacific/Auckland"});
        settings->setUnitsOfMeasure(7);
        {
            TVXSDBManagerForm form(nullptr, settings.get());
            runAndClose(form);
            child<QComboBox>(&form, "cbConnections")->setCurrentIndex(1);
            click(&form, "pbUpgrade", {QMessageBox::Yes}); // statements on a worker
            child<QComboBox>(&form, "cbConnections")->setCurrentIndex(0);
            QStringList opened;
            QTimer closer;
            connect(&closer, &QTimer::timeout, this, [&opened]() {
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
            closer.start(10);
            for (const char *button : {"pbManageDevices", "pbManageDeviceConfigs", "pbManageLocationConfigs",
                                       "pbManageEmailConfigs"})
                click(&form, button);
            QCOMPARE(opened, QStringList({"DB Device", "DB Device Config",
                                          "DB Location Config Pacific/Auckland", "DB Email Config 0"}));
            QCOMPARE(look(&form), QStringLiteral("A (SQLite) | v12 | EditorButtons"));
            for (const QString &name : QSqlDatabase::connectionNames())
                QCOMPARE(QSqlDatabase::database(name, false).driver()->thread(), QThread::currentThread());
        }
    }
    // While a database server accepts the connection and never answers, the
    // dialog is disabled but keeps processing events without spinning: the
    // label moves on every 333 ms and wraps after eleven dots.
    void silentServerKeepsDialogResponsive()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        TORVSQLSettings connection = sqliteConnection("Silent", "vxs");
        connection.type = TORVSQLSettings::MSSqlServer;
        connection.address = QStringLiteral("127.0.0.1");
        connection.port = silent.serverPort();
        connection.userName = connection.password = QStringLiteral("vxs");
        const auto settings = settingsIn(m_dir->path(), {connection}, connection);
        TVXSDBManagerForm form(nullptr, settings.get());
        QStringList texts;
        const std::clock_t cpu = std::clock();
        QTimer sampler;
        const auto sample = [&]() {
            auto *label = form.findChild<QLabel *>(QStringLiteral("lConnectionStatus"));
            const QString now = label ? label->text() + (form.isEnabled() ? "+" : "-") : QString();
            if (label && texts.value(texts.size() - 1) != now)
                texts << now;
        };
        connect(&sampler, &QTimer::timeout, this, sample);
        sampler.start(50);
        QTimer hangUp; // once the dots have wrapped
        hangUp.callOnTimeout(&silent, &QTcpServer::close);
        hangUp.start(4800);
        runAndClose(form);
        sample();
        const double cpuMs = (std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC;
        const QString stem = QStringLiteral("Connecting"), seen = texts.join('|');
        const int elevenDots = texts.indexOf(stem + QString(11, '.') + '-');
        QVERIFY2(elevenDots > 0 && texts.value(elevenDots + 1) == stem + '-', qPrintable(seen));
        QVERIFY2(texts.last().startsWith("Unable to connect to: Silent (Microsoft SQL Server) - "),
                 qPrintable(seen));
        QVERIFY2(texts.last().endsWith('+') &&
                     texts.filter(QRegularExpression("^Connecting.*\\+$")).isEmpty(),
                 qPrintable(seen));
        // A spinning wait costs a whole core; the bound leaves room for a busy machine.
        QVERIFY2(cpuMs < 1000, qPrintable(QString::number(cpuMs)));
    }
};

QTEST_MAIN(TestDBManagerForm)
#include "tst_dbmanagerform.moc"
