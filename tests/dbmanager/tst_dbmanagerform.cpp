#include "modalanswerer.h"
#include "tdbconnectionform.h"
#include "tdbmanagerform.h"
#include "testhelpers.h"
#include "tvxdatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace Veltrix::Database;

namespace {

// How a test database is made: built to `version` (at most 12) by the real
// upgrade, then its Info row adjusted.
struct DatabaseRecipe
{
    int version = 12;
    int infoVersion = -1;    // written over dbVersion when set
    int infoMinimum = -1;    // written over dbSoftwareMinimum when set
    bool restricted = false; // restrictUtility
};

QString makeDatabase(const QString &path, const DatabaseRecipe &recipe)
{
    TVXDatabase database(sqliteConnection(QStringLiteral("build"), path));
    TORVSQLResult result = database.UpgradeTo(recipe.version);
    if (!result.ok)
        return result.error;
    if (recipe.infoVersion >= 0)
        result = database.SetDbVersion(recipe.infoVersion);
    if (result.ok && recipe.infoMinimum >= 0)
        result = database.Sql()->exec(
            QStringLiteral("UPDATE Info SET dbSoftwareMinimum=%1").arg(recipe.infoMinimum));
    if (result.ok && recipe.restricted)
        result = database.Sql()->exec(QStringLiteral("UPDATE Info SET restrictUtility=1"));
    return result.ok ? QString() : result.error;
}

template <typename T> T *child(QWidget *form, const char *name)
{
    T *widget = form->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QString text(QWidget *form, const char *label)
{
    return child<QLabel>(form, label)->text();
}

QString versionText(int version)
{
    return QStringLiteral("Database Version %1, Software Library Version 12.").arg(version);
}

// The dialog as the user sees it after its state was evaluated.
struct FormState
{
    QString state;
    bool upgradeShown = false;
    bool editorsEnabled = false;
    bool useSelectedEnabled = false;
};

FormState stateOf(QWidget *form)
{
    return {text(form, "lDatabaseState"), !child<QPushButton>(form, "pbUpgrade")->isHidden(),
            child<QFrame>(form, "fEditorButtons")->isEnabled(),
            child<QPushButton>(form, "pbUseSelected")->isEnabled()};
}

int databaseVersion(const QString &path)
{
    TVXDatabase database(sqliteConnection(QStringLiteral("check"), path));
    return database.DbVersion();
}

QStringList backups(const QString &folder)
{
    return QDir(folder).entryList(QStringList{QStringLiteral("*.bak")}, QDir::Files);
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
    void connectionThatCannotOpen();
    void emailButtonOnlyInServerVariant();
    void useSelectedOnlyForOtherUsableDatabase();
    void useSelectedWriteFailureIsReported();
    void emptyConnectionList();
    void refillKeepsOrLosesCurrentText_data();
    void refillKeepsOrLosesCurrentText();
    void manageConnectionsWriteFailureIsReported();
    void upgradeAnsweredNo();
    void upgradeAnsweredYesKeepsCopy();
    void failedUpgradeShowsWarning();
    void failedBackupStopsUpgrade();
    void connectionIsUsedOnlyFromItsThread();
    void connectToDatabaseWithoutLabel();
    void sizedAndCentredOnParent();

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

    const QString restrictedText = QStringLiteral("This database is restricted for use with Veltrix Server.");
    const QString canUpgrade = QStringLiteral(" This database can be upgraded.");
    const QString mustUpgrade = QStringLiteral(" This database must be upgraded before continuing.");
    const QString notCompatible = QStringLiteral(" This database is not compatible.");

    for (const bool server : {false, true}) {
        const char *variant = server ? "server: " : "base: ";
        auto row = [variant](const char *name) -> QTestData & {
            return QTest::newRow(qPrintable(QString(variant) + name));
        };
        row("12") << server << DatabaseRecipe{12, -1, -1, false} << versionText(12) << false << true;
        row("13, minimum 12") << server << DatabaseRecipe{12, 13, 12, false} << versionText(13) + canUpgrade
                              << true << true;
        row("11") << server << DatabaseRecipe{11, -1, -1, false} << versionText(11) + mustUpgrade << true
                  << false;
        row("6") << server << DatabaseRecipe{6, -1, -1, false} << versionText(6) + mustUpgrade << true
                 << false;
        row("13, minimum 13") << server << DatabaseRecipe{12, 13, 13, false}
                              << versionText(13) + notCompatible << false << false;
        if (server)
            row("12 restricted") << server << DatabaseRecipe{12, -1, -1, true} << versionText(12) << false
                                 << true;
        else
            row("12 restricted") << server << DatabaseRecipe{12, -1, -1, true} << restrictedText << false
                                 << false;
        // An empty file has no readable Info row: version -1, restricted.
        if (server)
            row("empty") << server << DatabaseRecipe{0, -1, -1, false} << versionText(-1) + mustUpgrade
                         << true << false;
        else
            row("empty") << server << DatabaseRecipe{0, -1, -1, false} << restrictedText << false << false;
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

    QCOMPARE(form->windowTitle(), QStringLiteral("Database Manager"));
    QCOMPARE(text(form.get(), "lConnectionStatus"), QStringLiteral("Connected to: Server Default (SQLite)"));
    QCOMPARE(text(form.get(), "lApplicationConnection"),
             QStringLiteral("Application Connection: Server Default (SQLite)"));
    const FormState seen = stateOf(form.get());
    QCOMPARE(seen.state, state);
    QCOMPARE(seen.upgradeShown, upgradeShown);
    QCOMPARE(seen.editorsEnabled, editorsEnabled);
    // The only entry is the application connection: nothing to choose.
    QVERIFY(!seen.useSelectedEnabled);
    QVERIFY(form->isEnabled());
    QVERIFY(!form->connectionChanged());
    QCOMPARE(settings.writes, 0);
}

void TestDBManagerForm::connectionThatCannotOpen()
{
    FakeSettings settings;
    settings.server = sqliteConnection(QStringLiteral("Gone"), path(QStringLiteral("missing/folder/vxs.db")));
    settings.list = {settings.server};
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);

    QVERIFY(text(&form, "lConnectionStatus")
                .startsWith(QStringLiteral("Unable to connect to: Gone (SQLite) - ")));
    const FormState seen = stateOf(&form);
    QVERIFY(seen.state.isEmpty());
    QVERIFY(!seen.upgradeShown);
    QVERIFY(!seen.editorsEnabled);
}

void TestDBManagerForm::emailButtonOnlyInServerVariant()
{
    FakeSettings settings;
    TDBManagerForm base(nullptr, &settings);
    runAndClose(base);
    QVERIFY(!base.findChild<QPushButton *>(QStringLiteral("pbManageEmailConfigs")));
    QVERIFY(base.findChild<QLabel *>(QStringLiteral("lBanner"))->isHidden());

    TVXSDBManagerForm server(nullptr, &settings);
    QPixmap banner(40, 10);
    banner.fill(Qt::blue);
    server.SetBanner(banner);
    runAndClose(server);
    QStringList buttons;
    for (QPushButton *button : child<QFrame>(&server, "fEditorButtons")->findChildren<QPushButton *>())
        buttons << button->text();
    QCOMPARE(buttons, (QStringList{"Manage Devices", "Manage Device Configs", "Manage Location Configs",
                                   "Manage Email Configs"}));
    QVERIFY(!server.findChild<QLabel *>(QStringLiteral("lBanner"))->isHidden());
}

void TestDBManagerForm::useSelectedOnlyForOtherUsableDatabase()
{
    QCOMPARE(makeDatabase(path(QStringLiteral("a.db")), {12, -1, -1, false}), QString());
    QCOMPARE(makeDatabase(path(QStringLiteral("b.db")), {12, -1, -1, false}), QString());
    QCOMPARE(makeDatabase(path(QStringLiteral("c.db")), {11, -1, -1, false}), QString());
    QCOMPARE(makeDatabase(path(QStringLiteral("d.db")), {12, 13, 12, false}), QString());

    FakeSettings settings;
    settings.list = {sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db")),
                     sqliteConnection("C", path("c.db")), sqliteConnection("D", path("d.db"))};
    settings.server = settings.list.at(0);
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);
    auto *combo = child<QComboBox>(&form, "cbConnections");
    auto *useSelected = child<QPushButton>(&form, "pbUseSelected");
    QCOMPARE(combo->currentText(), QStringLiteral("A (SQLite)"));
    QVERIFY(!useSelected->isEnabled());

    combo->setCurrentIndex(1);
    QCOMPARE(text(&form, "lConnectionStatus"), QStringLiteral("Connected to: B (SQLite)"));
    QVERIFY(useSelected->isEnabled());
    combo->setCurrentIndex(2); // must be upgraded first
    QVERIFY(!useSelected->isEnabled());
    combo->setCurrentIndex(3); // newer, still usable
    QVERIFY(useSelected->isEnabled());

    combo->setCurrentIndex(1);
    useSelected->click();
    QVERIFY(form.connectionChanged());
    QCOMPARE(settings.server, settings.list.at(1));
    QCOMPARE(settings.writes, 1);
    QCOMPARE(text(&form, "lApplicationConnection"), QStringLiteral("Application Connection: B (SQLite)"));
    QVERIFY(!useSelected->isEnabled());
}

void TestDBManagerForm::useSelectedWriteFailureIsReported()
{
    QCOMPARE(makeDatabase(path(QStringLiteral("a.db")), {12, -1, -1, false}), QString());
    QCOMPARE(makeDatabase(path(QStringLiteral("b.db")), {12, -1, -1, false}), QString());
    FakeSettings settings;
    settings.list = {sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db"))};
    settings.server = settings.list.at(0);
    settings.writable = false;
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);
    child<QComboBox>(&form, "cbConnections")->setCurrentIndex(1);

    ModalAnswerer answerer;
    child<QPushButton>(&form, "pbUseSelected")->click();
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Error"));
    QVERIFY(answerer.seen().at(0).text.contains(QStringLiteral("/fake/VeltrixServer.ini")));
    QVERIFY(!form.connectionChanged());
    QCOMPARE(settings.server, settings.list.at(0));
    QCOMPARE(text(&form, "lApplicationConnection"), QStringLiteral("Application Connection: A (SQLite)"));
    QVERIFY(child<QPushButton>(&form, "pbUseSelected")->isEnabled()); // may be tried again
}

void TestDBManagerForm::emptyConnectionList()
{
    FakeSettings settings;
    settings.server = sqliteConnection("Server Default", path("vxs.db"));
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);
    QCOMPARE(child<QComboBox>(&form, "cbConnections")->count(), 0);
    QVERIFY(text(&form, "lConnectionStatus").isEmpty());
    QVERIFY(stateOf(&form).state.isEmpty());
    QVERIFY(!stateOf(&form).editorsEnabled);

    child<QPushButton>(&form, "pbUseSelected")->setEnabled(true);
    child<QPushButton>(&form, "pbUseSelected")->click();
    QVERIFY(!form.connectionChanged());
    QCOMPARE(settings.writes, 0);
    QVERIFY(!QFile::exists(path("vxs.db"))); // nothing was opened
}

void TestDBManagerForm::refillKeepsOrLosesCurrentText_data()
{
    QTest::addColumn<bool>("deleteCurrent");
    QTest::addColumn<QString>("expected");
    QTest::newRow("kept") << false << QStringLiteral("B (SQLite)");
    QTest::newRow("lost") << true << QStringLiteral("A (SQLite)");
}

void TestDBManagerForm::refillKeepsOrLosesCurrentText()
{
    QFETCH(bool, deleteCurrent);
    QFETCH(QString, expected);

    for (const char *name : {"a.db", "b.db", "s.db"})
        QCOMPARE(makeDatabase(path(QLatin1String(name)), {12, -1, -1, false}), QString());
    FakeSettings settings;
    settings.list = {sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db"))};
    settings.server = sqliteConnection("Server", path("s.db")); // not in the list
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
            ModalAnswerer answerer;
            answerer.answer(QMessageBox::Yes);
            child<QPushButton>(editor, "pbDelete")->click();
        }
        editor->reject();
    });
    driver.start();
    child<QPushButton>(&form, "pbManageConnections")->click();
    driver.stop();

    QVERIFY(editorSeen);
    QCOMPARE(settings.writes, 1);
    // The application connection was added to the list, which was stored sorted.
    QStringList stored;
    for (const TORVSQLSettings &entry : settings.list)
        stored << entry.connectionName;
    QCOMPARE(stored, deleteCurrent ? (QStringList{"A", "Server"}) : (QStringList{"A", "B", "Server"}));
    QCOMPARE(combo->count(), stored.size());
    QCOMPARE(combo->currentText(), expected);
    QCOMPARE(text(&form, "lConnectionStatus"), QStringLiteral("Connected to: ") + expected);
}

void TestDBManagerForm::manageConnectionsWriteFailureIsReported()
{
    FakeSettings settings;
    settings.writable = false;
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);

    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, this, []() {
        if (auto *editor = qobject_cast<Veltrix::TDBConnectionForm *>(QApplication::activeModalWidget()))
            editor->reject();
    });
    closer.start();
    ModalAnswerer answerer;
    child<QPushButton>(&form, "pbManageConnections")->click();
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Error"));
    QVERIFY(answerer.seen().at(0).text.contains(QStringLiteral("/fake/VeltrixServer.ini")));
    QVERIFY(!form.connectionChanged());
}

void TestDBManagerForm::upgradeAnsweredNo()
{
    const QString file = path(QStringLiteral("old.db"));
    QCOMPARE(makeDatabase(file, {11, -1, -1, false}), QString());
    FakeSettings settings;
    settings.server = sqliteConnection("Old", file);
    settings.list = {settings.server};
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);

    ModalAnswerer answerer;
    answerer.answer(QMessageBox::No);
    child<QPushButton>(&form, "pbUpgrade")->click();
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Upgrade Database"));
    QVERIFY(answerer.seen().at(0).text.startsWith(QStringLiteral(
        "Once upgraded the database cannot be reverted and will no longer work with some older "
        "versions of Veltrix software.\n")));
    QVERIFY(answerer.seen().at(0).text.contains(QStringLiteral("copy")));
    QVERIFY(answerer.seen().at(0).text.endsWith(QStringLiteral("Would you like to upgrade now?")));

    QCOMPARE(stateOf(&form).state,
             versionText(11) + QStringLiteral(" This database must be upgraded before continuing."));
    QVERIFY(backups(m_dir->path()).isEmpty());
    QCOMPARE(databaseVersion(file), 11);
}

void TestDBManagerForm::upgradeAnsweredYesKeepsCopy()
{
    const QString file = path(QStringLiteral("old.db"));
    QCOMPARE(makeDatabase(file, {11, -1, -1, false}), QString());
    FakeSettings settings;
    settings.server = sqliteConnection("Old", file);
    settings.list = {settings.server};
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);

    ModalAnswerer answerer;
    answerer.answer(QMessageBox::Yes);
    child<QPushButton>(&form, "pbUpgrade")->click();

    const QStringList copies = backups(m_dir->path());
    QCOMPARE(copies.size(), 1);
    QCOMPARE(answerer.seen().size(), 2);
    QCOMPARE(answerer.seen().at(1).title, QStringLiteral("Upgrade Database"));
    QVERIFY2(answerer.seen().at(1).text.contains(copies.at(0)), qPrintable(answerer.seen().at(1).text));

    const FormState seen = stateOf(&form);
    QCOMPARE(seen.state, versionText(12));
    QVERIFY(!seen.upgradeShown);
    QVERIFY(seen.editorsEnabled);
    QCOMPARE(databaseVersion(file), 12);
    QCOMPARE(databaseVersion(m_dir->filePath(copies.at(0))), 11); // the copy is the old database
}

void TestDBManagerForm::failedUpgradeShowsWarning()
{
    // Says 11 but already has the tables of 12: the last step fails.
    const QString file = path(QStringLiteral("odd.db"));
    QCOMPARE(makeDatabase(file, {12, 11, -1, false}), QString());
    FakeSettings settings;
    settings.server = sqliteConnection("Odd", file);
    settings.list = {settings.server};
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);

    ModalAnswerer answerer;
    answerer.answer(QMessageBox::Yes);
    child<QPushButton>(&form, "pbUpgrade")->click();
    QCOMPARE(answerer.seen().size(), 2);
    QCOMPARE(answerer.seen().at(1).title, QStringLiteral("Upgrade Database"));
    QVERIFY(answerer.seen().at(1).text.startsWith(QStringLiteral("Database Upgrade Failed.\n")));
    // The copy made first is named, and the state is evaluated again.
    QCOMPARE(backups(m_dir->path()).size(), 1);
    QVERIFY(answerer.seen().at(1).text.contains(backups(m_dir->path()).at(0)));
    QCOMPARE(stateOf(&form).state,
             versionText(11) + QStringLiteral(" This database must be upgraded before continuing."));
}

void TestDBManagerForm::failedBackupStopsUpgrade()
{
    const QString folder = path(QStringLiteral("sub"));
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/old.db");
    QCOMPARE(makeDatabase(file, {11, -1, -1, false}), QString());
    FakeSettings settings;
    settings.server = sqliteConnection("Old", file);
    settings.list = {settings.server};
    TVXSDBManagerForm form(nullptr, &settings);
    runAndClose(form);

    // The open database stays readable, but no copy can be written next to it.
    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().rmdir(folder));

    ModalAnswerer answerer;
    answerer.answer(QMessageBox::Yes);
    child<QPushButton>(&form, "pbUpgrade")->click();
    QCOMPARE(answerer.seen().size(), 2);
    QCOMPARE(answerer.seen().at(1).title, QStringLiteral("Upgrade Database"));
    QVERIFY(answerer.seen().at(1).text.startsWith(QStringLiteral("Database Upgrade Failed.\n")));
    QVERIFY(answerer.seen().at(1).text.contains(QStringLiteral("copied")));
    QCOMPARE(stateOf(&form).state,
             versionText(11) + QStringLiteral(" This database must be upgraded before continuing."));
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
    QCOMPARE(makeDatabase(path(QStringLiteral("a.db")), {12, -1, -1, false}), QString());
    QCOMPARE(makeDatabase(path(QStringLiteral("b.db")), {11, -1, -1, false}), QString());
    FakeSettings settings;
    settings.list = {sqliteConnection("A", path("a.db")), sqliteConnection("B", path("b.db"))};
    settings.server = settings.list.at(0);

    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessages);
    {
        TVXSDBManagerForm form(nullptr, &settings);
        runAndClose(form);
        child<QComboBox>(&form, "cbConnections")->setCurrentIndex(1);
        ModalAnswerer answerer;
        answerer.answer(QMessageBox::Yes);
        child<QPushButton>(&form, "pbUpgrade")->click(); // statements on the dialog's thread
        child<QComboBox>(&form, "cbConnections")->setCurrentIndex(0);
        QVERIFY(form.MakeSureConnectionIsOpen()); // a second worker, then back
        QTimer closer;                            // closes the record editor, if one opens
        closer.setInterval(10);
        connect(&closer, &QTimer::timeout, this, []() {
            if (auto *editor = qobject_cast<Veltrix::TEditorBaseForm *>(QApplication::activeModalWidget()))
                editor->reject();
        });
        closer.start();
        child<QPushButton>(&form, "pbManageDevices")->click();
        closer.stop();
        QCOMPARE(stateOf(&form).state, versionText(12));

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

void TestDBManagerForm::connectToDatabaseWithoutLabel()
{
    QCOMPARE(makeDatabase(path(QStringLiteral("a.db")), {12, -1, -1, false}), QString());
    TVXDatabase database;
    QVERIFY(TDBManagerForm::ConnectToDatabase(sqliteConnection("A", path("a.db")), &database, nullptr));
    QCOMPARE(database.DbVersion(), 12);
    QVERIFY(!TDBManagerForm::ConnectToDatabase(sqliteConnection("B", path("no/such/dir/b.db")), &database,
                                               nullptr));
    QVERIFY(!TDBManagerForm::ConnectToDatabase(TORVSQLSettings(), &database, nullptr));
    QVERIFY(!TDBManagerForm::ConnectToDatabase(sqliteConnection("A", path("a.db")), nullptr, nullptr));
}

void TestDBManagerForm::sizedAndCentredOnParent()
{
    FakeSettings settings;
    QWidget parent;
    parent.setGeometry(100, 100, 2100, 600);
    TVXSDBManagerForm form(&parent, &settings);
    runAndClose(form);
    QCOMPARE(form.width(), 700);
    QCOMPARE(form.geometry().center().x(), parent.geometry().center().x());
}

QTEST_MAIN(TestDBManagerForm)
#include "tst_dbmanagerform.moc"
