// The command line in this process, on SQLite files in a temporary folder;
// the settings folder is a private "ProgramData".

#include "commandline.h"
#include "settingsfolder.h"
#include "sqliterecord.h"
#include "tvxdatabase.h"
#include "tvxssettings.h"

#include <QtSql>
#include <QtTest>

using namespace Veltrix::Server;
using Veltrix::Database::TVXDatabase;

namespace {

struct Outcome
{
    int code = -1; // -1: not handled here, the tray starts
    QString out, err;
};

Outcome run(const QStringList &args)
{
    QList<QByteArray> storage{"VeltrixServerController"};
    std::vector<char *> argv;
    for (const QString &arg : args)
        storage << arg.toLocal8Bit();
    for (QByteArray &arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    Outcome outcome;
    QTextStream out(&outcome.out), err(&outcome.err);
    if (!Controller::handleCommandLine(int(storage.size()), argv.data(), out, err, &outcome.code))
        outcome.code = -1;
    return outcome; // every line is flushed as it is written
}

// The files of a folder and their contents.
QStringList snapshot(const QString &folder)
{
    QStringList files;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        QFile content(file.filePath());
        files << file.fileName() +
                     (file.isFile() && content.open(QIODevice::ReadOnly) ? content.readAll().toHex() : "");
    }
    return files;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_case = 0;

private slots:
    void initTestCase() { QVERIFY(!ownSettingsFolder(m_dir.path()).isEmpty()); }
    // The command line on a database of the settings file: the exit code and
    // what is printed. The status never changes a file; neither does a refusal
    // (exit code 4 the same for both options, 5), within 10 s.
    void commandLine_data()
    {
        QTest::addColumn<int>("version");      // of vxs.db in a folder of its own; 0: an empty file
        QTest::addColumn<QString>("damage");   // SQL, "overwrite <offset>", or "long name" for the file
        QTest::addColumn<QString>("database"); // the server's connection; %1: the folder
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output"); // a pattern
        const auto row = [](const char *name, int version, const char *damage, const char *database,
                            const QStringList &args, int code, const QString &output) {
            QTest::newRow(name) << version << damage << database << args << code << output;
        };
        const QStringList status{"--database-status"}, upgrade{"--upgrade-database"};
        const char *db = "%1/vxs.db", *usage = "Exit codes of --upgrade-database:"; // on wrong use, no tray
        row("tray", 12, "", db, {}, -1, "^$");
        row("tray, -sHOWmESSAGE", 12, "", db, {"-sHOWmESSAGE"}, -1, "^$");
        row("tray, Qt's own options", 12, "", db, {"-platform", "offscreen", "-style=fusion", "-something"},
            -1, "^$");
        row("--help", 12, "", db, {"--help"}, 0,
            "  2  it must be upgraded.*--database-status.*--connection <NAME>.*--no-backup");
        row("--version", 12, "", db, {"--version"}, 0,
            "VeltrixServerController " VX_CONTROLLER_VERSION " .*schema version 12");
        row("both", 12, "", db, status + upgrade, 64, usage);
        row("connection alone", 12, "", db, {"--connection", "x"}, 64, usage);
        row("no-backup with status", 12, "", db, status + QStringList("--no-backup"), 64, usage);
        row("stray argument", 12, "", db, status + QStringList("extra"), 64, usage);
        row("mistyped", 12, "", db, {"--upgrade-databse"}, 64, usage);
        row("any other --", 12, "", db, {"--ShowMessage"}, 64, usage);
        for (const char *option : {"-upgrade-database", "-database-status", "-connection=x"})
            row(option, 12, "", db, {option}, 64, usage);
        row("current", 12, "", db, status, 0,
            "Minimum software version: 5\nRestricted: no\nDatabase Version 12, Software Library Version "
            "12.\n");
        row("current, tray option too", 12, "", db, status + QStringList("-ShowMessage"), 0, "Version 12,");
        row("newer, usable", 12, "UPDATE Info SET dbVersion = 13", db, status, 1, "can be upgraded");
        row("older", 11, "", db, status, 2, "Database Version 11, .*must be upgraded");
        row("needs a newer software", 12, "UPDATE Info SET dbSoftwareMinimum = 13", db, status, 3,
            "not compatible");
        row("restricted", 12, "UPDATE Info SET restrictUtility = 1", db, status, 0, "Restricted: yes");
        row("empty", 0, "", db, status, 2, "The database is empty. --upgrade-database builds it.");
        row("no usable connection", 12, "", "", status, 4,
            "names no usable database connection for the server.\n$"); // and nothing more
        row("named, any case", 11, "", "%1/nowhere/vxs.db", {"--database-status", "--connection", "BETA"}, 2,
            "Connection: beta");
        row("unknown name", 12, "", db, {"--database-status", "--connection=gamma"}, 4,
            "No connection named \"gamma\" .*Known connections: beta");
        row("missing folder", 6, "", "%1/absent/vxs.db", status, 4,
            "folder of the database file does not exist");
        row("not a database", 6, "overwrite 0", db, status, 4, "is not an SQLite database");
        row("folder", 6, "", "%1", status, 4, "is not a plain file");
        row("file: address", 6, "", "file:vxs.db?mode=memory", status, 4, "is not a file on disk");
        row(":memory:", 6, "", ":memory:", status, 4, "is not a file on disk");
        row("relative", 6, "", "vxs.db", status, 4, "is relative");
        row("locked", 6, "BEGIN EXCLUSIVE", db, status, 4, "database is locked");
        row("corrupt", 6, "overwrite 100", db, status, 4, "database disk image is malformed");
        row("version 6.7", 6, "UPDATE Info SET dbVersion = 6.7", db, status, 4,
            "Info.dbVersion holds \"6.7\"");
        row("no lock file possible", 6, "long name", db, upgrade, 5, "The lock file .* cannot be created");
        // Each stage as it starts, with the time since the start; then current.
        QString steps;
        for (int v = 7; v <= 12; ++v)
            steps +=
                QString("\\[0\\.\\d s\\] Upgrading to version %1 \\(%2 of 6\\): [^\n]*\n").arg(v).arg(v - 6);
        row("upgrade", 6, "", db, upgrade, 0,
            "\\[0\\.\\d s\\] Copying the database \\.\\.\\.\n\\[0\\.\\d s\\] A copy of the database at "
            "version 6 "
            "was written to [^\n]*vxs.db.v6-[^\n]*.bak.\n" +
                steps);
        row("upgrade, --no-backup", 6, "", db, upgrade + QStringList("--no-backup"), 0,
            "(?=.*drop table LocationConfigs)No copy[^\n]*\n" + steps);
        row("upgrade of an empty file", 0, "", db, upgrade, 0, "Building version 1");
        row("upgrade fails", 8, "ALTER TABLE DeviceConfigs ADD Disabled BOOLEAN", db,
            upgrade + QStringList("--no-backup"), 6,
            "Database Upgrade Failed.\n.*duplicate column.*\nStatement: ALTER TABLE DeviceConfigs ADD "
            ".*\nThe "
            "database is at version 8.");
    }
    void commandLine()
    {
        QFETCH(int, version);
        QFETCH(QString, damage);
        QFETCH(QString, database);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, output);
        const QString folder = m_dir.filePath(QString::number(++m_case));
        // A name of 250 characters leaves no room for the lock file's.
        const QString path = folder + (damage == "long name" ? '/' + QString(244, 'v') + ".db" : "/vxs.db");
        QVERIFY(QDir().mkpath(folder) && QDir::setCurrent(folder) && QFile(path).open(QIODevice::WriteOnly));
        QVERIFY(!version || TVXDatabase(sqliteRecord("build", path)).UpgradeTo(version).ok);
        QFile file(path);
        QVERIFY(!damage.startsWith("overwrite") ||
                (file.open(QIODevice::ReadWrite) && file.seek(damage.mid(10).toInt()) &&
                 file.write(QByteArray(2000, '\xff')) == 2000));
        file.close();
        QSqlDatabase db =
            QSqlDatabase::addDatabase("QSQLITE", "direct"); // holds what it locks during the run
        db.setDatabaseName(path);
        QVERIFY(damage.isEmpty() || damage.at(0).isLower() || (db.open() && QSqlQuery(db).exec(damage)));
        {
            QSettings ini(settingsFilePath(), QSettings::IniFormat);
            ini.clear();
            sqliteRecord("server", database.arg(folder).replace("vxs.db", QFileInfo(path).fileName()))
                .write(ini, "db");
            TORVSQLSettings::writeList(ini, "dbList", {sqliteRecord("beta", path)});
        }
        const QStringList before = snapshot(folder);
        for (const QString option : {"--database-status", "--upgrade-database"}) {
            if (code != 4 && option != "--database-status") // both options refuse the same way
                break;
            QElapsedTimer timer;
            timer.start();
            const Outcome outcome = run(QStringList(args).replaceInStrings("--database-status", option));
            QVERIFY(timer.elapsed() < 10000);
            QCOMPARE(outcome.code, code);
            const QRegularExpression pattern(output, QRegularExpression::DotMatchesEverythingOption);
            QVERIFY2(pattern.match(outcome.out + outcome.err).hasMatch(),
                     qPrintable(outcome.out + outcome.err));
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("direct");
        if (args.contains("--upgrade-database") && (code == 0 || code == 6)) {
            // Current, unless a step failed; a second run has nothing to do.
            QCOMPARE(run({"--database-status"}).code, code ? 2 : 0);
            QCOMPARE(run(args).out.contains("Nothing to upgrade"), code == 0);
            // The copy reported is there, and no other.
            QCOMPARE(QDir(folder).entryList({"*.bak"}).size(), output.contains("A copy") ? 1 : 0);
        } else {
            QCOMPARE(snapshot(folder), before);
        }
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }
    // No settings file: the server never ran here. Status writes nothing; the
    // upgrade writes the settings file the tray would (or stops, when it cannot)
    // and builds the database.
    void freshMachine()
    {
        const QString database = QDir::toNativeSeparators(settingsFolder() + "vxs.db"); // as printed
        QVERIFY(QDir(settingsFolder()).removeRecursively());
        const auto notYet = [&] {
            const Outcome status = run({"--database-status"});
            return status.code == 2 &&
                   status.out.contains(database + " does not exist yet. --upgrade-database creates it.");
        };
        QVERIFY(notYet());
        QVERIFY(!QFileInfo::exists(settingsFolder()));
        const QString blocked = settingsFolder().chopped(1); // a file where the folder goes
        QVERIFY(QFile(blocked).open(QIODevice::WriteOnly));
        const Outcome unwritable = run({"--upgrade-database"});
        QVERIFY(unwritable.code == 4 && unwritable.err.endsWith("could not be written.\n")); // nothing more
        QVERIFY(QFile::remove(blocked));
        QCOMPARE(run({"--upgrade-database"}).code, 0);
        QCOMPARE(TVXDatabase(sqliteRecord("check", database)).DbVersion(), 12);
        const QStringList written = snapshot(settingsFolder());
        QVERIFY(QFile::remove(settingsFilePath()));
        TVXSSettings(settingsFilePath()).writeToDisk();
        QCOMPARE(snapshot(settingsFolder()), written);
        // A settings file naming a missing database file in an existing folder.
        QVERIFY(QFile::remove(database) && notYet());
        QCOMPARE(run({"--upgrade-database"}).code, 0);
        QVERIFY(QFileInfo::exists(database));
    }
};

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
