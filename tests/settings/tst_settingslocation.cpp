#include "settingslocation.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Veltrix::Server;

class TestSettingsLocation : public QObject
{
    Q_OBJECT
private slots:
    void folderFromLocations_data()
    {
        QTest::addColumn<QStringList>("locations");
        QTest::addColumn<QString>("folder");

        QTest::newRow("windows") << QStringList{"C:/Users/admin/AppData/Local/VeltrixServerController",
                                                "C:/ProgramData/VeltrixServerController"}
                                 << "C:/ProgramData/VeltrixServer/";
        QTest::newRow("lower case") << QStringList{"c:/programdata/Tool"} << "c:/programdata/VeltrixServer/";
        QTest::newRow("upper case") << QStringList{"D:/PROGRAMDATA"} << "D:/PROGRAMDATA/VeltrixServer/";
        QTest::newRow("first match wins")
            << QStringList{"/home/u/.config", "/srv/ProgramData/a", "/x/ProgramData/b"}
            << "/srv/ProgramData/VeltrixServer/";
        QTest::newRow("last occurrence in the path") << QStringList{"/ProgramData/mirror/programdata/etc"}
                                                     << "/ProgramData/mirror/programdata/VeltrixServer/";
        QTest::newRow("word inside a name")
            << QStringList{"/data/MyProgramDataStore/x"} << "/data/MyProgramData/VeltrixServer/";
        QTest::newRow("none") << QStringList{"/home/u/.config", "/etc/xdg"} << "";
        QTest::newRow("empty list") << QStringList() << "";
    }
    void folderFromLocations()
    {
        QFETCH(QStringList, locations);
        QFETCH(QString, folder);
        QCOMPARE(settingsFolderFromLocations(locations), folder);
    }
    void folderOnDrive_data()
    {
        QTest::addColumn<TDriveList>("drives");
        QTest::addColumn<QString>("folder");

        QTest::newRow("no drives") << TDriveList() << "C://ProgramData/VeltrixServer/";
        QTest::newRow("no fixed disk")
            << TDriveList{{"A:", "A:/", "2"}, {"E:", "E:/", "5"}} << "C://ProgramData/VeltrixServer/";
        QTest::newRow("first fixed disk")
            << TDriveList{{"A:", "A:/", "2"}, {"D:", "D:/", "3"}, {"E:", "E:/", "3"}}
            << "D://ProgramData/VeltrixServer/";
        QTest::newRow("type must match exactly")
            << TDriveList{{"F:", "F:/", "30"}, {"G:", "G:/", " 3"}} << "C://ProgramData/VeltrixServer/";
        QTest::newRow("short record skipped")
            << TDriveList{{"F:", "F:/"}, {"H:", "H:/", "3"}} << "H://ProgramData/VeltrixServer/";
    }
    void folderOnDrive()
    {
        QFETCH(TDriveList, drives);
        QFETCH(QString, folder);
        QCOMPARE(settingsFolderOnDrive(drives), folder);
    }
    void parseDrives_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<TDriveList>("drives");

        // As the query prints it: a header, CR LF line ends, padded columns.
        QTest::newRow("typical") << QString(
                                        "Caption  DriveType  ProviderName               VolumeName  \r\r\n"
                                        "C:       3                                     Windows     \r\r\n"
                                        "D:       5                                                 \r\r\n"
                                        "Z:       4          \\\\fileserver\\share        Data        \r\r\n"
                                        "\r\r\n")
                                 << TDriveList{{"C:", "C:/", "3"}, {"D:", "D:/", "5"}, {"Z:", "Z:/", "4"}};
        QTest::newRow("empty") << QString() << TDriveList();
        QTest::newRow("header only") << QString("Caption  DriveType\r\n") << TDriveList();
        QTest::newRow("drive without type") << QString("C:\r\nE:   3\n") << TDriveList{{"E:", "E:/", "3"}};
        QTest::newRow("stops at NUL")
            << QString("C: 3\n") + QChar(0) + QString("D: 3\n") << TDriveList{{"C:", "C:/", "3"}};
        QTest::newRow("leading space is not a drive line") << QString(" C: 3\n") << TDriveList();
        QTest::newRow("tabs") << QString("C:\t3\tLocal\n") << TDriveList{{"C:", "C:/", "3"}};
    }
    void parseDrives()
    {
        QFETCH(QString, output);
        QFETCH(TDriveList, drives);
        QCOMPARE(parseLogicalDrives(output), drives);
    }
    // Through the configuration locations of this machine; without a
    // ProgramData among them, the fixed fallback (the drive query is Windows-only).
    void folderThroughTheEnvironment()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString programData = root.filePath(QStringLiteral("ProgramData"));
        qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config-home")).toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", ("/etc/xdg:" + programData).toLocal8Bit());
        QCOMPARE(settingsFilePath(), programData + QStringLiteral("/VeltrixServer/VeltrixServer.ini"));
#ifndef Q_OS_WIN
        qputenv("XDG_CONFIG_DIRS", "/etc/xdg");
        QVERIFY(logicalDrives().isEmpty());
        QCOMPARE(settingsFolder(), QStringLiteral("/var/lib/VeltrixServer/"));
        QCOMPARE(settingsFilePath(), QStringLiteral("/var/lib/VeltrixServer/VeltrixServer.ini"));
#endif
    }
};

QTEST_APPLESS_MAIN(TestSettingsLocation)
#include "tst_settingslocation.moc"
