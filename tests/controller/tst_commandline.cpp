#include "commandline.h"
#include "settingslocation.h"
#include "tvxdatabase.h"
#include "tvxssettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Veltrix::Server::Controller;
using Veltrix::Database::TVXDatabase;

namespace {

struct Outcome
{
    bool handled = false;
    int code = -1;
    QString out;
    QString err;
};

// Runs the command line in this process.
Outcome runCommandLine(QStringList args)
{
    args.prepend(QStringLiteral("VeltrixServerController"));
    QList<QByteArray> storage;
    std::vector<char *> argv;
    for (const QString &arg : args)
        storage << arg.toLocal8Bit();
    for (QByteArray &arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    Outcome outcome;
    {
        QTextStream out(&outcome.out), err(&outcome.err);
        outcome.handled = handleCommandLine(int(args.size()), argv.data(), out, err, &outcome.code);
    }
    return outcome;
}

TORVSQLSettings sqlite(const QString &name, const QString &path)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = name;
    settings.databaseName = path;
    return settings;
}

// Runs statements on the database file, outside the code under test; the
// connection stays open (holding whatever lock they took) while `during` runs.
void execOn(const QString &path, const QString &statement, const std::function<void()> &during = {})
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("direct"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY2(query.exec(statement), qPrintable(statement));
        if (during)
            during();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("direct"));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileNo = 0;

    QString buildAt(int version)
    {
        const QString path = m_dir.filePath(QStringLiteral("db%1/vxs.db").arg(++m_fileNo));
        QDir().mkpath(QFileInfo(path).path());
        TVXDatabase db(sqlite(QStringLiteral("build"), path));
        if (!db.UpgradeTo(version).ok)
            qFatal("could not build version %d", version);
        return path;
    }

    // The server's connection and a list of named ones.
    void writeSettings(const TORVSQLSettings &server, const TORVSQLSettingsList &list = {})
    {
        QSettings ini(Veltrix::Server::settingsFilePath(), QSettings::IniFormat);
        ini.clear();
        server.write(ini, QStringLiteral("db"));
        TORVSQLSettings::writeList(ini, QStringLiteral("dbList"), list);
        ini.sync();
        QCOMPARE(ini.status(), QSettings::NoError);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The settings folder is found under a configuration path named ProgramData.
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("ProgramData")).toLocal8Bit());
        QVERIFY(Veltrix::Server::settingsFilePath().startsWith(m_dir.path()));
        QVERIFY(QDir().mkpath(Veltrix::Server::settingsFolder()));
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code"); // -1: not handled here, the tray starts
        QTest::addColumn<QStringList>("output");
        const auto row = [](const char *name, const QStringList &args, int code, const QStringList &output) {
            QTest::newRow(name) << args << code << output;
        };
        row("none", {}, -1, {});
        for (const char *option : {"-sHOWmESSAGE", "-something"})
            row(option, {option}, -1, {});
        row("Qt's own options", {"-platform", "offscreen", "-style=fusion"}, -1, {});
        const QStringList help{"--database-status",        "--upgrade-database",
                               "--connection <NAME>",      "--no-backup",
                               "  2  it must be upgraded", "Exit codes of --upgrade-database:\n  0  "};
        row("--help", {"--help"}, 0, help);
        row("--version", {"--version"}, 0,
            {"VeltrixServerController " VX_CONTROLLER_VERSION, "schema version 12"});
        // Wrong use: a message on stderr and the usage exit code.
        row("both", {"--database-status", "--upgrade-database"}, 64, {});
        row("connection alone", {"--connection", "x"}, 64, {});
        row("no-backup with status", {"--database-status", "--no-backup"}, 64, {});
        row("stray argument", {"--database-status", "extra"}, 64, {});
        row("mistyped", {"--upgrade-databse"}, 64, {});
        row("any other --", {"--ShowMessage"}, 64, {});
        for (const char *option : {"-upgrade-database", "-database-status", "-connection=x"})
            row(option, {option}, 64, {});
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QStringList, output);
        const Outcome outcome = runCommandLine(args);
        QCOMPARE(outcome.handled, code != -1);
        if (outcome.handled)
            QCOMPARE(outcome.code, code);
        for (const QString &text : output)
            QVERIFY2(outcome.out.contains(text), qPrintable(outcome.out));
        if (code == -1)
            QVERIFY(outcome.out.isEmpty());
        if (code == 64) // with the usage text
            QVERIFY2(outcome.err.contains("Exit codes of --database-status:"), qPrintable(outcome.err));
        QVERIFY(!QCoreApplication::instance());
    }

    void status_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("info");
        QTest::addColumn<QStringList>("extraArgs");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("verdict");

        const auto row = [](const char *name, int version, const char *info, const QStringList &extraArgs,
                            int code, const char *verdict) {
            QTest::newRow(name) << version << info << extraArgs << code << verdict;
        };
        const char *current = "Database Version 12, Software Library Version 12.\n";
        row("current", 12, "", {}, 0, current);
        row("current, tray option too", 12, "", {"-ShowMessage"}, 0, current);
        row("newer, usable", 12, "dbVersion = 13, dbSoftwareMinimum = 12", {}, 1,
            "Database Version 13, Software Library Version 12. This database can be upgraded.");
        row("older", 11, "", {}, 2,
            "Database Version 11, Software Library Version 12. This database must be upgraded before "
            "continuing.");
        row("too new", 12, "dbVersion = 13, dbSoftwareMinimum = 13", {}, 3,
            "Database Version 13, Software Library Version 12. This database is not compatible.");
        row("current, asks for a newer software", 12, "dbSoftwareMinimum = 13", {}, 3,
            "Database Version 12, Software Library Version 12. This database is not compatible.");
        row("restricted", 12, "restrictUtility = 1", {}, 0,
            "Restricted: yes. This database is restricted for use with Veltrix Server.");
        row("restricted and older", 6, "restrictUtility = 1", {}, 2,
            "This database must be upgraded before continuing.");
    }
    void status()
    {
        QFETCH(int, version);
        QFETCH(QString, info);
        QFETCH(QStringList, extraArgs);
        QFETCH(int, code);
        QFETCH(QString, verdict);
        const QString path = buildAt(version);
        if (!info.isEmpty())
            execOn(path, "UPDATE Info SET " + info);
        writeSettings(sqlite(QStringLiteral("server"), path));
        const Outcome outcome = runCommandLine(QStringList{"--database-status"} + extraArgs);
        QVERIFY(outcome.handled);
        QVERIFY2(outcome.out.contains(verdict), qPrintable(outcome.out + outcome.err));
        QCOMPARE(outcome.code, code);
        QVERIFY(outcome.out.contains(QStringLiteral("Minimum software version: ")));
    }

    void statusOfANamedConnection_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("code");
        QTest::newRow("beta") << "beta" << 0;
        QTest::newRow("ALPHA, any case") << "ALPHA" << 2;
        QTest::newRow("=form") << "" << 0;
        QTest::newRow("unknown") << "gamma" << 4;
    }
    void statusOfANamedConnection()
    {
        QFETCH(QString, name);
        QFETCH(int, code);
        writeSettings(
            sqlite(QStringLiteral("server"), m_dir.filePath(QStringLiteral("nowhere.db"))),
            {sqlite(QStringLiteral("alpha"), buildAt(11)), sqlite(QStringLiteral("beta"), buildAt(12))});
        const QStringList args = name.isEmpty() ? QStringList{"--database-status", "--connection=beta"}
                                                : QStringList{"--database-status", "--connection", name};
        const Outcome outcome = runCommandLine(args);
        QCOMPARE(outcome.code, code);
        if (code == 4)
            QVERIFY2(outcome.err.contains(QStringLiteral("No connection named \"gamma\"")) &&
                         outcome.err.contains(QStringLiteral("alpha, beta")),
                     qPrintable(outcome.err));
    }

    // One rule for both options, applied before anything is opened.
    void refusedPaths_data()
    {
        QTest::addColumn<QString>("databaseName"); // %1: an empty folder, the working folder
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, const char *path, const char *message) {
            QTest::newRow(name) << path << message;
        };
        row("missing folder", "%1/absent/vxs.db", "folder of the database file does not exist");
        row("not a database", "%1/notes.txt", "is not an SQLite database");
#ifdef Q_OS_UNIX
        row("FIFO", "%1/fifo", "is not a plain file");
#endif
        row("folder", "%1", "is not a plain file");
        row("file: address", "file:vxs.db?mode=memory", "is not a file on disk");
        row(":memory:", ":memory:", "is not a file on disk");
        row("relative", "vxs.db", "is relative");
    }
    void refusedPaths()
    {
        QFETCH(QString, databaseName);
        QFETCH(QString, message);
        const QString folder = m_dir.filePath(QStringLiteral("refused"));
        QVERIFY(QDir(folder).removeRecursively() && QDir().mkpath(folder) && QDir::setCurrent(folder));
        const QString path = databaseName.arg(folder);
        QFile file(path);
        if (path.endsWith(QLatin1String(".txt")))
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a database, just some words\n") > 0);
        file.close();
#ifdef Q_OS_UNIX
        if (path.endsWith(QLatin1String("fifo")))
            QCOMPARE(::mkfifo(qPrintable(path), 0600), 0);
#endif
        const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        writeSettings(sqlite(QStringLiteral("server"), path));
        for (const char *option : {"--database-status", "--upgrade-database"}) {
            const Outcome outcome = runCommandLine({option});
            QCOMPARE(outcome.code, 4);
            QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
        }
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }

    // Locked by another connection, damaged, or holding a version that is no
    // whole number: both options say why within 10 s and change nothing.
    void unreadable_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("reason");
        QTest::newRow("locked") << "BEGIN EXCLUSIVE"
                                << "database is locked";
        QTest::newRow("truncated") << "truncate"
                                   << "database disk image is malformed";
        QTest::newRow("corrupt") << "overwrite 100"
                                 << "database disk image is malformed";
        QTest::newRow("broken header") << "overwrite 16"
                                       << "file is not a database";
        QTest::newRow("version 6.7") << "UPDATE Info SET dbVersion = 6.7"
                                     << "Info.dbVersion holds \"6.7\"";
    }
    void unreadable()
    {
        QFETCH(QString, damage);
        QFETCH(QString, reason);
        const QString path = buildAt(6);
        QFile file(path);
        if (damage == QLatin1String("truncate"))
            QVERIFY(file.resize(file.size() / 2));
        else if (damage.startsWith(QLatin1String("overwrite")) && file.open(QIODevice::ReadWrite))
            QVERIFY(file.seek(damage.section(' ', 1).toInt()) &&
                    file.write(QByteArray(2000, '\xff')) == 2000);
        else if (!damage.startsWith(QLatin1String("BEGIN")))
            execOn(path, damage);
        file.close();
        const QByteArray before = contents(path);
        writeSettings(sqlite(QStringLiteral("server"), path));

        const auto judge = [&]() {
            for (const char *option : {"--database-status", "--upgrade-database"}) {
                QElapsedTimer timer;
                timer.start();
                const Outcome outcome = runCommandLine({option});
                QVERIFY(timer.elapsed() < 10000);
                QCOMPARE(outcome.code, 4);
                QVERIFY2(outcome.err.contains(reason), qPrintable(outcome.err));
                QVERIFY(!outcome.out.contains(QStringLiteral("upgraded")));
            }
        };
        if (damage.startsWith(QLatin1String("BEGIN")))
            execOn(path, damage, judge);
        else
            judge();
        QCOMPARE(contents(path), before);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList{"vxs.db"});
    }

    // No settings file: the server never ran here. Status writes nothing; the
    // upgrade writes the settings file the tray would and builds the database.
    void freshMachine()
    {
        const QString ini = Veltrix::Server::settingsFilePath();
        const QString folder = Veltrix::Server::settingsFolder();
        const QString database = folder + QStringLiteral("vxs.db");
        QVERIFY(QDir(folder).removeRecursively());
        const QString notYet =
            QStringLiteral("The database %1 does not exist yet. --upgrade-database creates it.")
                .arg(database);
        Outcome status = runCommandLine({"--database-status"});
        QCOMPARE(status.code, 2);
        QVERIFY2(status.out.contains(notYet), qPrintable(status.out));
        QVERIFY(!QFileInfo::exists(folder));

        const Outcome upgrade = runCommandLine({"--upgrade-database"});
        QVERIFY2(upgrade.code == 0, qPrintable(upgrade.out + upgrade.err));
        QCOMPARE(TVXDatabase(sqlite(QStringLiteral("check"), database)).DbVersion(), 12);
        const QByteArray written = contents(ini);
        QVERIFY(QFile::remove(ini));
        {
            Veltrix::Server::TVXSSettings store(ini);
        }
        QCOMPARE(written, contents(ini));

        // A settings file naming a missing database file in an existing folder.
        QVERIFY(QFile::remove(database));
        status = runCommandLine({"--database-status"});
        QCOMPARE(status.code, 2);
        QVERIFY2(status.out.contains(notYet), qPrintable(status.out));
        QCOMPARE(runCommandLine({"--upgrade-database"}).code, 0);
        QVERIFY(QFileInfo::exists(database));
    }

    void upgrade_data()
    {
        QTest::addColumn<bool>("backup");
        QTest::newRow("with copy") << true;
        QTest::newRow("--no-backup") << false;
    }
    void upgrade()
    {
        QFETCH(bool, backup);
        const QString path = buildAt(6);
        writeSettings(sqlite(QStringLiteral("server"), path));
        const Outcome outcome = runCommandLine(backup ? QStringList{"--upgrade-database"}
                                                      : QStringList{"--upgrade-database", "--no-backup"});
        QVERIFY2(outcome.code == 0, qPrintable(outcome.out + outcome.err));
        // Each stage as it starts, with the time since the start.
        QString stages;
        if (backup)
            stages +=
                QStringLiteral("\\[0\\.\\d s\\] Copying the database \\.\\.\\.\n"
                               "\\[0\\.\\d s\\] A copy of the database at version 6 was written to .*\n");
        for (int v = 7; v <= 12; ++v)
            stages += QStringLiteral("\\[0\\.\\d s\\] Upgrading to version %1 \\(%2 of 6\\): .*\n")
                          .arg(v)
                          .arg(v - 6);
        QVERIFY2(QRegularExpression(stages).match(outcome.out).hasMatch(), qPrintable(outcome.out));
        QVERIFY(!outcome.out.contains(QStringLiteral("Upgrading to version 6")));
        QVERIFY(outcome.out.contains(QStringLiteral("drop table LocationConfigs")));
        QVERIFY(outcome.out.contains(QStringLiteral("Database Version 12, Software Library Version 12.")));

        const QStringList copies =
            QDir(QFileInfo(path).path()).entryList({QStringLiteral("vxs.db.v6-*.bak")}, QDir::Files);
        QCOMPARE(copies.size(), backup ? 1 : 0);

        TVXDatabase db(sqlite(QStringLiteral("check"), path));
        QCOMPARE(db.DbVersion(), 12);

        // A second run has nothing to do and makes no copy.
        const Outcome again = runCommandLine({"--upgrade-database"});
        QCOMPARE(again.code, 0);
        QVERIFY(again.out.contains(QStringLiteral("Nothing to upgrade")));
        QCOMPARE(QDir(QFileInfo(path).path()).entryList({QStringLiteral("*.bak")}, QDir::Files).size(),
                 backup ? 1 : 0);
    }

    void upgradeOfANewDatabase()
    {
        const QString path = m_dir.filePath(QStringLiteral("new/vxs.db"));
        QDir().mkpath(QFileInfo(path).path());
        writeSettings(sqlite(QStringLiteral("server"), m_dir.filePath(QStringLiteral("other.db"))),
                      {sqlite(QStringLiteral("fresh"), path)});
        const Outcome outcome = runCommandLine({"--upgrade-database", "--connection", "fresh"});
        QVERIFY2(outcome.code == 0, qPrintable(outcome.out + outcome.err));
        QVERIFY(outcome.out.contains(QStringLiteral("Building version 1")));
        QCOMPARE(runCommandLine({"--database-status", "--connection", "fresh"}).code, 0);
    }

    void failedUpgrade()
    {
        const QString path = buildAt(8);
        execOn(path, "ALTER TABLE DeviceConfigs ADD Disabled BOOLEAN");
        writeSettings(sqlite(QStringLiteral("server"), path));
        const Outcome outcome = runCommandLine({"--upgrade-database", "--no-backup"});
        QCOMPARE(outcome.code, 6);
        QVERIFY2(outcome.err.contains(QStringLiteral("Database Upgrade Failed.\n")), qPrintable(outcome.err));
        QVERIFY(outcome.err.contains(QStringLiteral("duplicate column")));
        QVERIFY(outcome.err.contains(QStringLiteral("The database is at version 8.")));
        QCOMPARE(runCommandLine({"--database-status"}).code, 2);
    }
};

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
