#include "dbmanagertest.h"
#include "tdbconnectionform.h"

using Veltrix::TDBConnectionForm;
using Veltrix::TEditorBaseForm;

namespace {

QString names(const TORVSQLSettingsList &list)
{
    QStringList result;
    for (const TORVSQLSettings &entry : list)
        result << entry.connectionName;
    return result.join(',');
}

// What can be used: the record list, the buttons by their text and the name
// field, each followed by "+" or "-".
QString modeOf(QWidget *form)
{
    QString mode;
    for (const char *name : {"cbRecords", "pbNew", "pbSave", "pbDelete", "leName"}) {
        auto *button = qobject_cast<QAbstractButton *>(child(form, name));
        mode += (button ? button->text() : QString(name)) + (child(form, name)->isEnabled() ? "+ " : "- ");
    }
    return mode.trimmed();
}

} // namespace

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
        click(&form, "pbSave"); // Edit
        QCOMPARE(modeOf(&form), QStringLiteral("cbRecords- New- Save+ Cancel+ leName-"));
        enter(&form, "cbType=Microsoft SQL "
                     "Server;leDatabase=vxs;leAddress=db;sbPort=1433;leUsername=sa;lePassword=pw");
        QVERIFY(!child(&form, "pbSelect")->isEnabled()); // no file for a server
        QCOMPARE(click(&form, "pbSave"), QStringList());
        const TORVSQLSettings &beta = list.at(1);
        QCOMPARE(QStringList({beta.displayName(), beta.databaseName, beta.address, QString::number(beta.port),
                              beta.userName, beta.password, shown(&form, "cbRecords")})
                     .join(';'),
                 "Beta (Microsoft SQL Server);vxs;db;1433;sa;pw;" + beta.displayName());
        QCOMPARE(modeOf(&form), QStringLiteral("cbRecords+ New+ Edit+ Delete+ leName-"));
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
        TORVSQLSettings main = sqliteConnection("Main", "vxs");
        main.type = TORVSQLSettings::MSSqlServer;
        TORVSQLSettingsList list{main};
        TDBConnectionForm form(nullptr, &list, QString());
        runAndClose(form);
        click(&form, qPrintable(steps.at(0)));
        QCOMPARE(shown(&form, "leName;cbType") + modeOf(&form),
                 steps.at(2) + "cbRecords- New- Save+ Cancel+ leName+");
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
    // Selects the item of a key (an int matches 64-bit data), else "None", else nothing.
    void selectByData()
    {
        QComboBox box;
        for (const qint64 key : {5, 7, -5})
            box.addItem(QString::number(key), key);
        for (const auto &[value, id] : {std::pair(QVariant(7), 7), std::pair(QVariant(99), -1)}) {
            TEditorBaseForm::SelectByData(&box, value);
            QCOMPARE(TEditorBaseForm::CurrentId(&box), id);
        }
        box.insertItem(0, QStringLiteral("None"));
        for (const QVariant &value : {QVariant(99), QVariant(), QVariant(-5)}) {
            TEditorBaseForm::SelectByData(&box, value);
            QCOMPARE(box.currentIndex() + int(TEditorBaseForm::CurrentData(&box).isValid()), 0);
        }
    }
};

QTEST_MAIN(TestDBConnectionForm)
#include "tst_dbconnectionform.moc"
