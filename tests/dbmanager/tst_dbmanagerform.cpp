#include "tdbconnectionform.h"
#include "tdbmanagerform.h"
#include "testhelpers.h"
#include "tvxdatabase.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLockFile>
#include <QProgressDialog>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace Veltrix::Database;

namespace {

// Built to `version` (at most 12) by the real upgrade, then its Info row adjusted.
struct DatabaseRecipe
{
    int version = 12;
    int infoVersion = -1; // written over dbVersion when set
    int infoMinimum = -1; // written over dbSoftwareMinimum when set
    bool restricted = false;
};

QString makeDatabase(const QString &path, const DatabaseRecipe &recipe = {})
{
    TVXDatabase database(sqliteConnection(QStringLiteral("build"), path));
    TORVSQLResult result = database.UpgradeTo(recipe.version);
    if (result.ok && recipe.infoVersion >= 0)
        result = database.SetDbVersion(recipe.infoVersion);
    if (result.ok && recipe.infoMinimum >= 0)
        result = database.Sql()->exec(
            QStringLiteral("UPDATE Info SET dbSoftwareMinimum=%1").arg(recipe.infoMinimum));
    if (result.ok && recipe.restricted)
        result = database.Sql()->exec(QStringLiteral("UPDATE Info SET restrictUtility=1"));
    return result.ok ? QString() : result.error;
}

QString text(QWidget *form, const char *label)
{
    return child<QLabel>(form, label)->text();
}

QString versionLine(int version)
{
    return QStringLiteral("Database Version %1, Software Library Version 12.").arg(version);
}

const QString mustUpgrade = QStringLiteral(" This database must be upgraded before continuing.");

bool editorsEnabled(QWidget *form)
{
    return child<QFrame>(form, "fEditorButtons")->isEnabled();
}

int databaseVersion(const QString &path)
{
    TVXDatabase database(sqliteConnection(QStringLiteral("check"), path));
    return database.DbVersion();
}

} // namespace

Q_DECLARE_METATYPE(DatabaseRecipe)

class TestDBManagerForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void stateTable_data();
    void stateTable();
    void useSelected_data();
    void useSelected();
    void emptyConnectionList();
    void manageConnections_data();
    void manageConnections();
    void upgrade_data();
    void upgrade();
    void connectionIsUsedOnlyFromItsThread();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<HangGuard> m_guard;
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

void TestDBManagerForm::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_guard = std::make_unique<HangGuard>();
}

void TestDBManagerForm::cleanup()
{
    QVERIFY2(!m_guard->fired, "a dialog was left unanswered");
    m_guard.reset();
}

void TestDBManagerForm::stateTable_data()
{
    QTest::addColumn<bool>("serverVariant");
    QTest::addColumn<DatabaseRecipe>("recipe");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("upgradeShown");
    QTest::addColumn<bool>("editorsEnabled");

    const QString restricted = QStringLiteral("This database is restricted for use with Veltrix Server.");
    for (const bool server : {false, true}) {
        const QString variant = server ? QStringLiteral("server: ") : QStringLiteral("base: ");
        auto row = [&variant](const char *name) -> QTestData & {
            return QTest::newRow(qPrintable(variant + QLatin1String(name)));
        };
        row("12") << server << DatabaseRecipe{12, -1, -1, false} << versionLine(12) << false << true;
        row("13, minimum 12") << server << DatabaseRecipe{12, 13, 12, false}
                              << versionLine(13) + QStringLiteral(" This database can be upgraded.") << true
                              << true;
        row("11") << server << DatabaseRecipe{11, -1, -1, false} << versionLine(11) + mustUpgrade << true
                  << false;
        row("13, minimum 13") << server << DatabaseRecipe{12, 13, 13, false}
                              << versionLine(13) + QStringLiteral(" This database is not compatible.")
                              << false << false;
        row("12 restricted") << server << DatabaseRecipe{12, -1, -1, true}
                             << (server ? versionLine(12) : restricted) << false << server;
        // An empty file has no readable Info row: version -1, restricted.
        row("empty") << server << DatabaseRecipe{0, -1, -1, false}
                     << (server ? versionLine(-1) + mustUpgrade : restricted) << server << false;
    }
}

void TestDBManagerForm::stateTable()
{
    QFETCH(bool, serverVariant);
    QFETCH(DatabaseRecipe, recipe);
    QFETCH(QString, state);
    QFETCH(bool, upgradeShown);
    QFETCH(bool, editorsEnabled);

    const QString file = path(QStringLiteral("state.db"));
    if (recipe.version > 0) {
        QCOMPARE(makeDatabase(file, recipe), QString());
    } else {
        QFile empty(file);
        QVERIFY(empty.open(QIODevice::WriteOnly));
    }
    FakeSettings settings;
    settings.server = sqliteConnection(QStringLiteral("Server Default"), file);
    settings.list = {settings.server};
    std::unique_ptr<TDBManagerForm> form(serverVariant ? new TVXSDBManagerForm(nullptr, &settings)
                                                       : new TDBManagerForm(nullptr, &settings));
    runAndClose(*form);

    QCOMPARE(text(form.get(), "lConnectionStatus"), QStringLiteral("Connected to: Server Default (SQLite)"));
    QCOMPARE(text(form.get(), "lDatabaseState"), state);
    QCOMPARE(!child<QPushButton>(form.get(), "pbUpgrade")->isHidden(), upgradeShown);
    QCOMPARE(::editorsEnabled(form.get()), editorsEnabled);
    QCOMPARE(form->findChild<QPushButton *>(QStringLiteral("pbManageEmailConfigs")) != nullptr,
             serverVariant);
    // The only entry is the application connection: nothing to choose.
    QVERIFY(!child<QPushButton>(form.get(), "pbUseSelected")->isEnabled());
}

void TestDBManagerForm::useSelected_data()
{
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("serverEdited"); // the list's entry of the server's connection
    QTest::newRow("stored") << true << false;
    QTest::newRow("settings not writable") << false << false;
    QTest::newRow("server's entry edited") << true << true;
}

// Use Selected is enabled only for a usable database other than the
// application connection; a failed settings write is reported, not hidden.
void TestDBManagerForm::useSelected()
{
    QFETCH(bool, writable);
    QFETCH(bool, serverEdited);
    QCOMPARE(makeDatabase(path("a.db")), QString());
    QCOMPARE(makeDatabase(path("b.db")), QString());
    QCOMPARE(makeDatabase(path("c.db"), {11, -1, -1, false}), QString());
    QCOMPARE(makeDatabase(path("d.db"), {12, 13, 12, false}), QString());
    FakeSettings settings;
    settings.list = {sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db")),
                     sqliteConnection("C", path("c.db")), sqliteConnection("D", path("d.db"))};
    settings.server = settings.list.at(0);
    if (serverEdited) // same name, another database: applied like any other entry
        settings.server.databaseName = path("old.db");
    settings.writable = writable;
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);
    auto *combo = child<QComboBox>(&form, "cbConnections");
    auto *useSelected = child<QPushButton>(&form, "pbUseSelected");
    QCOMPARE(combo->currentText(), QStringLiteral("A (SQLite)"));
    QCOMPARE(useSelected->isEnabled(), serverEdited);
    if (serverEdited) {
        QVERIFY(click(form, "pbUseSelected").isEmpty());
        QCOMPARE(settings.server, settings.list.at(0));
        QVERIFY(form.connectionChanged() && !useSelected->isEnabled());
        return;
    }
    combo->setCurrentIndex(2); // must be upgraded first
    QVERIFY(!useSelected->isEnabled());
    combo->setCurrentIndex(3); // newer, still usable
    QVERIFY(useSelected->isEnabled());
    combo->setCurrentIndex(1);
    QCOMPARE(text(&form, "lConnectionStatus"), QStringLiteral("Connected to: B (SQLite)"));
    QVERIFY(useSelected->isEnabled());

    const auto seen = click(form, "pbUseSelected");
    QCOMPARE(settings.writes, 1);
    QCOMPARE(form.connectionChanged(), writable);
    QCOMPARE(useSelected->isEnabled(), !writable); // a failed write may be tried again
    if (writable) {
        QVERIFY(seen.isEmpty());
        QCOMPARE(settings.server, settings.list.at(1));
        QCOMPARE(text(&form, "lApplicationConnection"), QStringLiteral("Application Connection: B (SQLite)"));
    } else {
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.at(0).title, QStringLiteral("Error"));
        QVERIFY(seen.at(0).text.contains(QStringLiteral("/fake/VeltrixServer.ini")));
        QCOMPARE(settings.server, settings.list.at(0));
        QCOMPARE(text(&form, "lApplicationConnection"), QStringLiteral("Application Connection: A (SQLite)"));
    }
}

void TestDBManagerForm::emptyConnectionList()
{
    FakeSettings settings;
    settings.server = sqliteConnection("Server Default", path("vxs.db"));
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);
    QCOMPARE(child<QComboBox>(&form, "cbConnections")->count(), 0);
    QVERIFY(text(&form, "lConnectionStatus").isEmpty());
    QVERIFY(text(&form, "lDatabaseState").isEmpty());
    QVERIFY(!editorsEnabled(&form));

    child<QPushButton>(&form, "pbUseSelected")->setEnabled(true);
    child<QPushButton>(&form, "pbUseSelected")->click();
    QVERIFY(!form.connectionChanged());
    QCOMPARE(settings.writes, 0);
    QVERIFY(!QFile::exists(path("vxs.db"))); // nothing was opened
}

void TestDBManagerForm::manageConnections_data()
{
    QTest::addColumn<bool>("deleteCurrent");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("expected");
    QTest::newRow("current text kept") << false << true << QStringLiteral("B (SQLite)");
    QTest::newRow("current text lost") << true << true << QStringLiteral("A (SQLite)");
    QTest::newRow("settings not writable") << false << false << QStringLiteral("B (SQLite)");
}

void TestDBManagerForm::manageConnections()
{
    QFETCH(bool, deleteCurrent);
    QFETCH(bool, writable);
    QFETCH(QString, expected);

    for (const char *name : {"a.db", "b.db", "s.db"})
        QCOMPARE(makeDatabase(path(QLatin1String(name))), QString());
    FakeSettings settings;
    settings.list = {sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db"))};
    settings.server = sqliteConnection("Server", path("s.db")); // not in the list
    settings.writable = writable;
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);
    auto *combo = child<QComboBox>(&form, "cbConnections");
    combo->setCurrentIndex(1);

    // The connection editor runs modally; drive it from the event loop.
    bool editorSeen = false;
    QTimer driver;
    driver.setInterval(10);
    connect(&driver, &QTimer::timeout, this, [&]() {
        auto *editor = qobject_cast<Veltrix::TDBConnectionForm *>(QApplication::activeModalWidget());
        if (!editor || editorSeen)
            return;
        editorSeen = true;
        if (deleteCurrent) {
            auto *records = child<QComboBox>(editor, "cbRecords");
            records->setCurrentIndex(records->findText(QStringLiteral("B (SQLite)")));
            child<QPushButton>(editor, "pbDelete")->click(); // answered Yes below
        }
        editor->reject();
    });
    driver.start();
    const auto seen = click(form, "pbManageConnections", {QMessageBox::Yes});
    driver.stop();

    QVERIFY(editorSeen);
    QCOMPARE(settings.writes, 1);
    QVERIFY(!form.connectionChanged());
    if (!writable) {
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.at(0).title, QStringLiteral("Error"));
        QVERIFY(seen.at(0).text.contains(QStringLiteral("/fake/VeltrixServer.ini")));
    } else {
        QCOMPARE(seen.size(), deleteCurrent ? 1 : 0); // the deletion question
    }
    // The application connection was added to the list, which was stored sorted.
    QStringList stored;
    for (const TORVSQLSettings &entry : settings.list)
        stored << entry.connectionName;
    // A list that could not be written is not kept either.
    QCOMPARE(stored, !writable       ? (QStringList{"A", "B"})
                     : deleteCurrent ? (QStringList{"A", "Server"})
                                     : (QStringList{"A", "B", "Server"}));
    QCOMPARE(combo->count(), stored.size());
    QCOMPARE(combo->currentText(), expected);
    QCOMPARE(text(&form, "lConnectionStatus"), QStringLiteral("Connected to: ") + expected);
}

void TestDBManagerForm::upgrade_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<DatabaseRecipe>("recipe");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<int>("version"); // afterwards

    QTest::newRow("answered No") << int(QMessageBox::No) << DatabaseRecipe{11, -1, -1, false} << "" << 11;
    QTest::newRow("answered Yes") << int(QMessageBox::Yes) << DatabaseRecipe{11, -1, -1, false} << "" << 12;
    // Says 11 but already has the tables of 12: the last step fails.
    QTest::newRow("upgrade fails") << int(QMessageBox::Yes) << DatabaseRecipe{12, 11, -1, false} << "" << 11;
    QTest::newRow("folder gone") << int(QMessageBox::Yes) << DatabaseRecipe{11, -1, -1, false}
                                 << "folder gone" << 11;
    QTest::newRow("waits for another upgrade")
        << int(QMessageBox::Yes) << DatabaseRecipe{11, -1, -1, false} << "another upgrade" << 12;
}

void TestDBManagerForm::upgrade()
{
    QFETCH(int, answer);
    QFETCH(DatabaseRecipe, recipe);
    QFETCH(QString, condition);
    QFETCH(int, version);

    const QString folder = path(QStringLiteral("sub"));
    const QString file = folder + QStringLiteral("/old.db");
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(makeDatabase(file, recipe), QString());
    FakeSettings settings;
    settings.server = sqliteConnection("Old", file);
    settings.list = {settings.server};
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);
    if (condition ==
        "folder gone") { // the open database stays readable, but nothing can be written beside it
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().rmdir(folder));
    }
    QLockFile other(file + QStringLiteral(".upgrade.lock"));
    if (condition == "another upgrade") {
        QVERIFY(other.tryLock(0));
        QTimer::singleShot(500, this, [&other]() { other.unlock(); });
    }
    // Meanwhile: the stages shown, and the longest time without events.
    QStringList stages;
    bool buttonShown = false;
    qint64 longestStop = 0;
    QElapsedTimer sinceBeat;
    QTimer heartbeat;
    heartbeat.setInterval(10);
    connect(&heartbeat, &QTimer::timeout, this, [&]() {
        longestStop = qMax(longestStop, sinceBeat.restart());
        if (auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget())) {
            buttonShown = buttonShown || progress->findChild<QPushButton *>();
            if (stages.value(stages.size() - 1) != progress->labelText())
                stages << progress->labelText();
        }
    });
    sinceBeat.start();
    heartbeat.start();

    const auto seen = click(form, "pbUpgrade", {QMessageBox::StandardButton(answer)});
    const bool yes = answer == QMessageBox::Yes;
    QCOMPARE(seen.size(), yes ? 2 : 1);
    for (const ModalAnswerer::Seen &box : seen)
        QCOMPARE(box.title, QStringLiteral("Upgrade Database"));
    QVERIFY(seen.at(0).text.startsWith(QStringLiteral(
        "Once upgraded the database cannot be reverted and will no longer work with some older "
        "versions of Veltrix software.\n")));
    QVERIFY(seen.at(0).text.contains(QStringLiteral("copy")));
    QVERIFY(seen.at(0).text.endsWith(QStringLiteral("Would you like to upgrade now?")));

    const QStringList copies = QDir(folder).entryList(QStringList{QStringLiteral("*.bak")}, QDir::Files);
    QCOMPARE(copies.size(), yes && condition != "folder gone" ? 1 : 0);
    if (yes) {
        const QString &result = seen.at(1).text;
        QCOMPARE(result.startsWith(QStringLiteral("Database Upgrade Failed.\n")), version != 12);
        if (condition == "folder gone")
            QVERIFY2(result.contains(QStringLiteral("not changed")), qPrintable(result));
        else // the copy is named, after a success or a failure
            QVERIFY2(result.contains(copies.at(0)), qPrintable(result));
    }
    if (condition == "another upgrade") { // the window stayed alive behind the stage shown
        QVERIFY2(stages.value(0).startsWith("Waiting for another upgrade of this database (process "),
                 qPrintable(stages.join('|')));
        QVERIFY(!buttonShown);
        QVERIFY2(longestStop < 250, qPrintable(QString::number(longestStop)));
    }
    QCOMPARE(text(&form, "lDatabaseState"), versionLine(version) + (version == 12 ? QString() : mustUpgrade));
    QCOMPARE(editorsEnabled(&form), version == 12);
    if (condition != "folder gone")
        QCOMPARE(databaseVersion(file), version);
    if (version == 12)
        QCOMPARE(databaseVersion(folder + QLatin1Char('/') + copies.at(0)), 11); // the old database
}

namespace {
QStringList g_messages;
void collectMessages(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_messages << message;
}
} // namespace

void TestDBManagerForm::connectionIsUsedOnlyFromItsThread()
{
    QCOMPARE(makeDatabase(path("a.db")), QString());
    QCOMPARE(makeDatabase(path("b.db"), {11, -1, -1, false}), QString());
    FakeSettings settings;
    settings.list = {sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db"))};
    settings.server = settings.list.at(0);

    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessages);
    {
        TVXSDBManagerForm form(nullptr, &settings);
        runAndClose(form);
        child<QComboBox>(&form, "cbConnections")->setCurrentIndex(1);
        click(form, "pbUpgrade", {QMessageBox::Yes}); // statements on the dialog's thread
        child<QComboBox>(&form, "cbConnections")->setCurrentIndex(0);
        QVERIFY(form.MakeSureConnectionIsOpen()); // a second worker, then back
        QTimer closer;                            // closes the record editor, if one opens
        closer.setInterval(10);
        connect(&closer, &QTimer::timeout, this, []() {
            if (auto *editor = qobject_cast<Veltrix::TEditorBaseForm *>(QApplication::activeModalWidget()))
                editor->reject();
        });
        closer.start();
        click(form, "pbManageDevices");
        closer.stop();
        QCOMPARE(text(&form, "lDatabaseState"), versionLine(12));

        // Every connection of the process belongs to this thread now.
        for (const QString &name : QSqlDatabase::connectionNames()) {
            QSqlDatabase database = QSqlDatabase::database(name, false);
            QVERIFY(database.driver());
            QCOMPARE(database.driver()->thread(), QThread::currentThread());
        }
    }
    qInstallMessageHandler(previous);
    for (const QString &message : qAsConst(g_messages))
        QVERIFY2(!message.contains(QStringLiteral("thread"), Qt::CaseInsensitive), qPrintable(message));
}

QTEST_MAIN(TestDBManagerForm)
#include "tst_dbmanagerform.moc"
