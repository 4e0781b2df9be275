#include "commandline.h"
#include "settingslocation.h"
#include "tvxdatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

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

// Runs the command line in this process with stdout and stderr captured.
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

    QTemporaryFile outFile, errFile;
    outFile.open();
    errFile.open();
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = dup(1), savedErr = dup(2);
    dup2(outFile.handle(), 1);
    dup2(errFile.handle(), 2);

    Outcome outcome;
    outcome.handled = handleCommandLine(int(args.size()), argv.data(), &outcome.code);

    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    outFile.seek(0);
    errFile.seek(0);
    outcome.out = QString::fromLocal8Bit(outFile.readAll());
    outcome.err = QString::fromLocal8Bit(errFile.readAll());
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

void setInfo(const QString &path, const QString &assignments)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setinfo"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("UPDATE Info SET ") + assignments));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setinfo"));
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

    void trayOptionsStartTheTray_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("none") << QStringList();
        QTest::newRow("-ShowMessage") << QStringList{"-ShowMessage"};
        QTest::newRow("-showmessage") << QStringList{"-showmessage"};
        QTest::newRow("-SHOWMESSAGE") << QStringList{"-SHOWMESSAGE"};
        QTest::newRow("unknown") << QStringList{"-something"};
    }
    void trayOptionsStartTheTray()
    {
        QFETCH(QStringList, args);
        const Outcome outcome = runCommandLine(args);
        QVERIFY(!outcome.handled);
        QVERIFY(outcome.out.isEmpty());
        QVERIFY(!QCoreApplication::instance());
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("expected");
        const QStringList help{"--database-status", "--upgrade-database", "--connection <NAME>",
                               "--no-backup", "2 it must be upgraded"};
        QTest::newRow("--help") << QStringList{"--help"} << help;
        QTest::newRow("-h") << QStringList{"-h"} << help;
        QTest::newRow("--version") << QStringList{"--version"}
                                   << QStringList{"VeltrixServerController 1.0.0", "schema version 12"};
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        const Outcome outcome = runCommandLine(args);
        QVERIFY(outcome.handled);
        QCOMPARE(outcome.code, 0);
        for (const QString &text : expected)
            QVERIFY2(outcome.out.contains(text), qPrintable(outcome.out));
        QVERIFY(!QCoreApplication::instance());
    }

    void wrongOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("both") << QStringList{"--database-status", "--upgrade-database"};
        QTest::newRow("connection alone") << QStringList{"--connection", "x"};
        QTest::newRow("unknown option") << QStringList{"--database-status", "--bogus"};
        QTest::newRow("no-backup with status") << QStringList{"--database-status", "--no-backup"};
        QTest::newRow("missing name") << QStringList{"--database-status", "--connection"};
        QTest::newRow("stray argument") << QStringList{"--database-status", "extra"};
    }
    void wrongOptions()
    {
        QFETCH(QStringList, args);
        const Outcome outcome = runCommandLine(args);
        QVERIFY(outcome.handled);
        QCOMPARE(outcome.code, 64);
        QVERIFY(!outcome.err.isEmpty());
    }

    void status_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("info");
        QTest::addColumn<QStringList>("extraArgs");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("verdict");

        QTest::newRow("current") << 12 << QString() << QStringList() << 0
                                 << "Database Version 12, Software Library Version 12.\n";
        QTest::newRow("current, tray option too") << 12 << QString() << QStringList{"-ShowMessage"} << 0
                                                  << "Database Version 12, Software Library Version 12.\n";
        QTest::newRow("newer, usable")
            << 12 << "dbVersion = 13, dbSoftwareMinimum = 12" << QStringList() << 1
            << "Database Version 13, Software Library Version 12. This database can be "
               "upgraded.";
        QTest::newRow("older") << 11 << QString() << QStringList() << 2
                               << "Database Version 11, Software Library Version 12. This database must be "
                                  "upgraded before continuing.";
        QTest::newRow("too new") << 12 << "dbVersion = 13, dbSoftwareMinimum = 13" << QStringList() << 3
                                 << "Database Version 13, Software Library Version 12. This database is not "
                                    "compatible.";
        QTest::newRow("restricted")
            << 12 << "restrictUtility = 1" << QStringList() << 0
            << "Restricted: yes. This database is restricted for use with Veltrix Server.";
        QTest::newRow("restricted and older") << 6 << "restrictUtility = 1" << QStringList() << 2
                                              << "This database must be upgraded before continuing.";
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
            setInfo(path, info);
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

    void cannotConnect_data()
    {
        QTest::addColumn<QString>("databaseName");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << "absent.db"
                                      << "does not exist";
        QTest::newRow("missing folder") << "absent/vxs.db"
                                        << "does not exist";
        QTest::newRow("not a database") << "notes.txt"
                                        << "is not an SQLite database";
    }
    void cannotConnect()
    {
        QFETCH(QString, databaseName);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(databaseName);
        if (databaseName == QLatin1String("notes.txt")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a database at all, just some words\n");
        }
        writeSettings(sqlite(QStringLiteral("server"), path));
        // An upgrade of a missing file in an existing folder builds a new database.
        QStringList options{QStringLiteral("--database-status")};
        if (databaseName != QLatin1String("absent.db"))
            options << QStringLiteral("--upgrade-database");
        for (const QString &option : options) {
            const Outcome outcome = runCommandLine({option});
            QCOMPARE(outcome.code, 4);
            QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
        }
        // A status query never creates the file.
        QCOMPARE(QFileInfo::exists(path), databaseName == QLatin1String("notes.txt"));
    }

    void noSettingsFile()
    {
        QFile::remove(Veltrix::Server::settingsFilePath());
        const Outcome outcome = runCommandLine({"--database-status"});
        QCOMPARE(outcome.code, 4);
        QVERIFY(outcome.err.contains(QStringLiteral("settings file was not found")));
        QVERIFY(!QFileInfo::exists(Veltrix::Server::settingsFilePath()));
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
        for (int v = 7; v <= 12; ++v)
            QVERIFY2(outcome.out.contains(QStringLiteral("Upgrading to version %1: ").arg(v)),
                     qPrintable(outcome.out));
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
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("damage"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("ALTER TABLE DeviceConfigs ADD Disabled BOOLEAN")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("damage"));
        writeSettings(sqlite(QStringLiteral("server"), path));
        const Outcome outcome = runCommandLine({"--upgrade-database", "--no-backup"});
        QCOMPARE(outcome.code, 6);
        QVERIFY2(outcome.err.contains(QStringLiteral("Database Upgrade Failed.\n")), qPrintable(outcome.err));
        QVERIFY(outcome.err.contains(QStringLiteral("duplicate column")));
        QVERIFY(outcome.err.contains(QStringLiteral("The database is at version 8.")));
        QCOMPARE(runCommandLine({"--database-status"}).code, 2);
    }

    // Another program holds the file: no copy, no upgrade, nothing changed.
    void noCopyNoUpgrade()
    {
        const QString path = buildAt(6);
        writeSettings(sqlite(QStringLiteral("server"), path));
        QProcess holder;
        holder.start(QStringLiteral("sqlite3"), {path});
        QVERIFY(holder.waitForStarted());
        holder.write("BEGIN EXCLUSIVE;\nSELECT 1;\n");
        QVERIFY(holder.waitForBytesWritten(5000));
        auto heldByOther = [&path]() {
            bool held = false;
            {
                QSqlDatabase probe =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("probe"));
                probe.setDatabaseName(path);
                probe.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
                if (probe.open()) {
                    QSqlQuery query(probe);
                    held = !query.exec(QStringLiteral("SELECT count(*) FROM Info"));
                }
            }
            QSqlDatabase::removeDatabase(QStringLiteral("probe"));
            return held;
        };
        QTRY_VERIFY_WITH_TIMEOUT(heldByOther(), 10000);
        const Outcome outcome = runCommandLine({"--upgrade-database"});
        holder.write("ROLLBACK;\n.quit\n");
        holder.waitForBytesWritten(5000);
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(outcome.code, 5);
        QVERIFY2(outcome.err.contains(QStringLiteral("not upgraded")), qPrintable(outcome.err));
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList{"vxs.db"});
        TVXDatabase db(sqlite(QStringLiteral("check"), path));
        QCOMPARE(db.DbVersion(), 6);
    }
};

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
