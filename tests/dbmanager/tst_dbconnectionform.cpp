#include "dbmanagertest.h"
#include "tdbconnectionform.h"

using Veltrix::TDBConnectionForm;

// The editor base's browsing and editing, on the editor of the connection list.
class TestDBConnectionForm : public QObject
{
    Q_OBJECT

private slots:
    // The list is sorted; the application connection joins it when no entry has its name and it is
    // valid, and is selected. Edit, the type, Save, the file picker; Duplicate, Cancel and New.
    void browseAndEdit()
    {
        QTemporaryDir dir;
        TORVSQLSettingsList list{sqliteRecord("Gamma", "/g.db"),
                                 {TORVSQLSettings::SQLite, "Alpha", "old-host", 1433, "/a.db", "sa", "pw"}};
        TDBConnectionForm form(nullptr, &list, dir.path());
        form.SetApplicationConnection(sqliteRecord("gamma", "/x.db")); // listed in another case
        form.SetApplicationConnection(sqliteRecord("Delta", ""));      // invalid
        form.SetApplicationConnection(sqliteRecord("Beta", "/b.db"));
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
        {
            ModalAnswerer answerer;
            answerer.answerFile(picked);
            child<QPushButton>(&form, "pbSelect")->click();
        }
        click(&form, "pbSave");
        QCOMPARE(list.at(1), sqliteRecord("Beta", picked));
        click(&form, "pbDuplicate"); // a copy of every field, cancelled
        QCOMPARE(shown(&form, "leName;leDatabase;sbPort;lePassword"),
                 "Beta_Copy;" + QDir::toNativeSeparators(picked) + ";0;");
        click(&form, "pbDelete");
        click(&form, "pbNew"); // a name in use in another case is refused, the input kept
        enter(&form, "leName=ALPHA");
        QCOMPARE(click(&form, "pbSave") << shown(&form, "leName;cbRecords"),
                 saveError("Connection name already exists") << "ALPHA;");
        enter(&form, "leName=Zed");
        QCOMPARE(click(&form, "pbSave"), QStringList());
        QCOMPARE(names(list) + ';' + shown(&form, "cbRecords"), "Alpha,Beta,Gamma,Zed;Zed (Unknown)");
        enter(&form, "cbRecords=Alpha (SQLite)"); // a file's entry shows no server fields left in it
        QCOMPARE(shown(&form, "leAddress;sbPort;leUsername;lePassword"), ";0;;");
    }
    // After a deletion the list starts again at its top; in an empty one Save is refused.
    void deleteAndEmptyList()
    {
        TORVSQLSettingsList list{sqliteRecord("A", "/a.db"), sqliteRecord("B", "/b.db")};
        TDBConnectionForm form(nullptr, &list, QString());
        runAndClose(form);
        enter(&form, "cbRecords=B (SQLite)");
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
