// The command line in this process, on SQLite files in a temporary folder;
// the settings folder is a private "ProgramData".

#include "commandline.h"
#include "settingslocation.h"
#include "tvxdatabase.h"
#include "tvxssettings.h"

#include <QtSql>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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

TORVSQLSettings sqlite(const QString &name, const QString &path)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = name;
    settings.databaseName = path;
    return settings;
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
    void initTestCase() { qputenv("XDG_CONFIG_HOME", m_dir.filePath("ProgramData").toLocal8Bit()); }
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output"); // each line of it is printed
        const auto row = [](const char *name, const QStringList &args, int code, const char *output = "") {
            QTest::newRow(name) << args << code << QString(output);
        };
        row("none", {}, -1);
        row("-sHOWmESSAGE", {"-sHOWmESSAGE"}, -1);
        row("Qt's own options", {"-platform", "offscreen", "-style=fusion", "-something"}, -1);
        row("--help", {"--help"}, 0,
            "--database-status\n--connection <NAME>\n--no-backup\n  2  it must be upgraded");
        row("--version", {"--version"}, 0,
            "VeltrixServerController " VX_CONTROLLER_VERSION "\nschema version 12");
        // Wrong use: the usage text on stderr and exit code 64, no tray.
        row("both", {"--database-status", "--upgrade-database"}, 64);
        row("connection alone", {"--connection", "x"}, 64);
        row("no-backup with status", {"--database-status", "--no-backup"}, 64);
        row("stray argument", {"--database-status", "extra"}, 64);
        row("mistyped", {"--upgrade-databse"}, 64);
        row("any other --", {"--ShowMessage"}, 64);
        for (const char *option : {"-upgrade-database", "-database-status", "-connection=x"})
            row(option, {option}, 64);
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, output);
        const Outcome outcome = run(args);
        QCOMPARE(outcome.code, code);
        for (const QString &line : output.split('\n', Qt::SkipEmptyParts))
            QVERIFY2(outcome.out.contains(line), qPrintable(outcome.out));
        QCOMPARE(outcome.err.contains("Exit codes of --upgrade-database:"), code == 64);
        QVERIFY(!QCoreApplication::instance());
    }
    // --database-status and --upgrade-database on a database of the settings
    // file: the exit code and what is printed. The status never changes a file;
    // neither does a refusal (exit code 4), the same for both options within 10 s.
    void databaseCommands_data()
    {
        QTest::addColumn<int>("version"); // of the database vxs.db in a folder of its own; 0: an empty file
        QTest::addColumn<QString>("damage");   // SQL, "truncate", "overwrite <offset>", "notes", "fifo"
        QTest::addColumn<QString>("database"); // the server's connection; %1: the folder
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output"); // a pattern
        const auto row = [](const char *name, int version, const char *damage, const char *database,
                            const QStringList &args, int code, const QString &output) {
            QTest::newRow(name) << version << damage << database << args << code << output;
        };
        const QStringList status{"--database-status"}, upgrade{"--upgrade-database"};
        const char *db = "%1/vxs.db";
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
        row("named, =form", 12, "", "%1/nowhere/vxs.db", {"--database-status", "--connection=beta"}, 0,
            "Version 12,");
        row("unknown name", 12, "", db, {"--database-status", "--connection", "gamma"}, 4,
            "No connection named \"gamma\" .*Known connections: beta");
        // Refused at once, and the same way by both options.
        row("missing folder", 6, "", "%1/absent/vxs.db", status, 4,
            "folder of the database file does not exist");
        row("not a database", 6, "notes", db, status, 4, "is not an SQLite database");
#ifdef Q_OS_UNIX
        row("FIFO", 6, "fifo", "%1/fifo", status, 4, "is not a plain file");
#endif
        row("folder", 6, "", "%1", status, 4, "is not a plain file");
        row("file: address", 6, "", "file:vxs.db?mode=memory", status, 4, "is not a file on disk");
        row(":memory:", 6, "", ":memory:", status, 4, "is not a file on disk");
        row("relative", 6, "", "vxs.db", status, 4, "is relative");
        row("locked", 6, "BEGIN EXCLUSIVE", db, status, 4, "database is locked");
        row("truncated", 6, "truncate", db, status, 4, "database disk image is malformed");
        row("corrupt", 6, "overwrite 100", db, status, 4, "database disk image is malformed");
        row("broken header", 6, "overwrite 16", db, status, 4, "file is not a database");
        row("version 6.7", 6, "UPDATE Info SET dbVersion = 6.7", db, status, 4,
            "Info.dbVersion holds \"6.7\"");
        // Each stage as it starts, with the time since the start; then current.
        QString steps;
        for (int v = 7; v <= 12; ++v)
            steps +=
                QString("\\[0\\.\\d s\\] Upgrading to version %1 \\(%2 of 6\\): [^\n]*\n").arg(v).arg(v - 6);
        row("upgrade", 6, "", db, upgrade, 0,
            "\\[0\\.\\d s\\] Copying the database \\.\\.\\.\n\\[0\\.\\d s\\] A copy of the database at "
            "version 6 "
            "was written to [^\n]*/vxs.db.v6-[^\n]*.bak.\n" +
                steps);
        row("upgrade, --no-backup", 6, "", db, upgrade + QStringList("--no-backup"), 0,
            "(?=.*drop table LocationConfigs)No copy[^\n]*\n" + steps);
        row("upgrade of an empty file", 0, "", db, upgrade, 0, "Building version 1");
        row("upgrade fails", 8, "ALTER TABLE DeviceConfigs ADD Disabled BOOLEAN", db,
            upgrade + QStringList("--no-backup"), 6,
            "Database Upgrade Failed.\n.*duplicate column.*\nStatement: ALTER TABLE DeviceConfigs ADD "
            ".*\nThe database is at version 8.");
    }
    void databaseCommands()
    {
        QFETCH(int, version);
        QFETCH(QString, damage);
        QFETCH(QString, database);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, output);
        const QString folder = m_dir.filePath(QString::number(++m_case)), path = folder + "/vxs.db";
        QVERIFY(QDir().mkpath(folder) && QDir::setCurrent(folder) && QFile(path).open(QIODevice::WriteOnly));
        QVERIFY(!version || TVXDatabase(sqlite("build", path)).UpgradeTo(version).ok);
        QFile file(path);
        if (damage == "notes")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a database, just some words\n") > 0);
        else if (damage == "truncate")
            QVERIFY(file.resize(file.size() / 2));
        else if (damage.startsWith("overwrite"))
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(damage.mid(10).toInt()) &&
                    file.write(QByteArray(2000, '\xff')) == 2000);
#ifdef Q_OS_UNIX
        else if (damage == "fifo")
            QCOMPARE(::mkfifo(qPrintable(folder + "/fifo"), 0600), 0);
#endif
        file.close();
        QSqlDatabase db =
            QSqlDatabase::addDatabase("QSQLITE", "direct"); // holds what it locks during the run
        db.setDatabaseName(path);
        QVERIFY(damage.isEmpty() || damage.at(0).isLower() || (db.open() && QSqlQuery(db).exec(damage)));
        {
            QSettings ini(settingsFilePath(), QSettings::IniFormat);
            ini.clear();
            sqlite("server", database.arg(folder)).write(ini, "db");
            TORVSQLSettings::writeList(ini, "dbList", {sqlite("beta", path)});
        }
        const QStringList before = snapshot(folder);
        for (const char *option : {"--database-status", "--upgrade-database"}) {
            if (code != 4 && !args.contains(option)) // both options refuse the same way
                continue;
            QElapsedTimer timer;
            timer.start();
            const Outcome outcome = run(QStringList(args).replaceInStrings(
                QRegularExpression("^--(database-status|upgrade-database)$"), option));
            QVERIFY(timer.elapsed() < 10000);
            QCOMPARE(outcome.code, code);
            const QRegularExpression pattern(output, QRegularExpression::DotMatchesEverythingOption);
            QVERIFY2(pattern.match(outcome.out + outcome.err).hasMatch(),
                     qPrintable(outcome.out + outcome.err));
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("direct");
        if (!args.contains("--upgrade-database") || code == 4) {
            QCOMPARE(snapshot(folder), before);
        } else { // current, unless a step failed; a second run has nothing to do
            QCOMPARE(run({"--database-status"}).code, code ? 2 : 0);
            QCOMPARE(run(args).out.contains("Nothing to upgrade"), code == 0);
            // The copy reported is there, and no other.
            QCOMPARE(QDir(folder).entryList({"*.bak"}).size(), output.contains("A copy") ? 1 : 0);
        }
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }
    // No settings file: the server never ran here. Status writes nothing; the
    // upgrade writes the settings file the tray would and builds the database.
    void freshMachine()
    {
        const QString database = settingsFolder() + "vxs.db";
        QVERIFY(QDir(settingsFolder()).removeRecursively());
        const auto notYet = [&] {
            const Outcome status = run({"--database-status"});
            return status.code == 2 &&
                   status.out.contains(database + " does not exist yet. --upgrade-database creates it.");
        };
        QVERIFY(notYet());
        QVERIFY(!QFileInfo::exists(settingsFolder()));
        QCOMPARE(run({"--upgrade-database"}).code, 0);
        QCOMPARE(TVXDatabase(sqlite("check", database)).DbVersion(), 12);
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
