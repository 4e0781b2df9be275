#include "dbmanagertest.h"
#include "tdbconnectionform.h"

using Veltrix::TDBConnectionForm;

// The editor base's browsing and editing, on the editor of the connection list.
class TestDBConnectionForm : public QObject
{
    Q_OBJECT

private slots:
    // The list is sorted; the application connection joins it when no entry
    // has its name and it is valid, and is selected. Edit, the type, Save, the file picker.
    void browseAndEdit()
    {
        QTemporaryDir dir;
        TORVSQLSettingsList list{sqliteConnection("Gamma", "/g.db"), sqliteConnection("Alpha", "/a.db")};
        TDBConnectionForm form(nullptr, &list, dir.path());
        form.SetApplicationConnection(sqliteConnection("gamma", "/x.db")); // listed in another case
        form.SetApplicationConnection(sqliteConnection("Delta", ""));      // invalid
        form.SetApplicationConnection(sqliteConnection("Beta", "/b.db"));
        runAndClose(form);
        QCOMPARE(itemTexts(child<QComboBox>(&form, "cbRecords")).join(','),
                 QStringLiteral("Alpha (SQLite),Beta (SQLite),Gamma (SQLite)"));
        QCOMPARE(shown(&form, "cbRecords;leDatabase"), "Beta (SQLite);" + QDir::toNativeSeparators("/b.db"));
        click(&form, "pbSave");                        // Edit
        QVERIFY(!child(&form, "leName")->isEnabled()); // a stored entry keeps its name
        enter(&form, "cbType=Microsoft SQL "
                     "Server;leDatabase=vxs;leAddress=db;sbPort=1433;leUsername=sa;lePassword=pw");
        QVERIFY(!child(&form, "pbSelect")->isEnabled()); // no file for a server
        QCOMPARE(click(&form, "pbSave"), QStringList());
        const TORVSQLSettings &beta = list.at(1);
        QCOMPARE(QStringList({beta.displayName(), beta.databaseName, beta.address, QString::number(beta.port),
                              beta.userName, beta.password, shown(&form, "cbRecords")})
                     .join(';'),
                 "Beta (Microsoft SQL Server);vxs;db;1433;sa;pw;" + beta.displayName());
        click(&form, "pbSave"); // Edit; back to SQLite, a file picked: only the file is kept
        enter(&form, "cbType=SQLite;leDatabase=");
        const QString picked = dir.filePath(QStringLiteral("picked.db"));
        QVERIFY(writeFile(picked, {}));
        ModalAnswerer answerer;
        answerer.answerFile(picked);
        child<QPushButton>(&form, "pbSelect")->click();
        click(&form, "pbSave");
        QCOMPARE(list.at(1), sqliteConnection("Beta", picked));
    }
    void newOrDuplicate_data()
    {
        QTest::addColumn<QStringList>("steps"); // button, name typed (empty: cancelled), offered, stored
        QTest::newRow("new") << QStringList{"pbNew", "Zed", ";Unknown", "Main,Zed"};
        QTest::newRow("new, name taken in another case") << QStringList{"pbNew", "MAIN", ";Unknown", "Main"};
        QTest::newRow("duplicate, cancelled")
            << QStringList{"pbDuplicate", "", "Main_Copy;Microsoft SQL Server", "Main"};
        QTest::newRow("duplicate, saved")
            << QStringList{"pbDuplicate", "Main_Copy", "Main_Copy;Microsoft SQL Server", "Main,Main_Copy"};
    }
    // New and Duplicate offer a record to edit; Save adds and selects it, a
    // name in use is refused and the input kept, Cancel goes back.
    void newOrDuplicate()
    {
        QFETCH(QStringList, steps);
        const QString name = steps.at(1);
        const TORVSQLSettings main{TORVSQLSettings::MSSqlServer, "Main", {}, 0, "vxs", {}, {}};
        TORVSQLSettingsList list{main};
        TDBConnectionForm form(nullptr, &list, QString());
        runAndClose(form);
        click(&form, qPrintable(steps.at(0)));
        QCOMPARE(shown(&form, "leName;cbType"), steps.at(2));
        enter(&form, "leName=" + name);
        const QStringList seen = click(&form, name.isEmpty() ? "pbDelete" : "pbSave"); // Cancel or Save
        QCOMPARE(seen, name == "MAIN" ? saveError("Connection name already exists") : QStringList());
        QCOMPARE(names(list), steps.at(3));
        QCOMPARE(shown(&form, "leName;cbRecords"), name.isEmpty()   ? "Main;" + main.displayName()
                                                   : name == "MAIN" ? QStringLiteral("MAIN;")
                                                                    : name + ';' + list.last().displayName());
        QCOMPARE(list.last().type, name == "Zed" ? TORVSQLSettings::Unknown : TORVSQLSettings::MSSqlServer);
    }
    // Delete asks first; the list is reloaded from its start. An empty list
    // leads Edit to a save the editor refuses.
    void deleteAndEmptyList()
    {
        TORVSQLSettingsList list{sqliteConnection("A", "/a.db"), sqliteConnection("B", "/b.db")};
        TDBConnectionForm form(nullptr, &list, QString());
        runAndClose(form);
        enter(&form, "cbRecords=B (SQLite)");
        QCOMPARE(click(&form, "pbDelete", {QMessageBox::No}), QStringList("Deletion: Confirm Deletion?"));
        for (const char *remaining : {"A", ""}) {
            click(&form, "pbDelete", {QMessageBox::Yes});
            QCOMPARE(names(list) + ';' + shown(&form, "cbRecords"),
                     remaining + QString(*remaining ? ";A (SQLite)" : ";"));
        }
        click(&form, "pbSave"); // Edit
        QCOMPARE(click(&form, "pbSave"), saveError("Can't write, bad index"));
    }
};

QTEST_MAIN(TestDBConnectionForm)
#include "tst_dbconnectionform.moc"
