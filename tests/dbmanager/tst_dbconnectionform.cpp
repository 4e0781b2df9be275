#include "dbmanagertest.h"
#include "tdbconnectionform.h"

#include <QLabel>

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

// What can be used: the record list, the buttons by their text, the details,
// the name and the server fields, each followed by "+" or "-".
QString modeOf(QWidget *form)
{
    QString mode;
    for (const char *name : {"cbRecords", "pbNew", "pbSave", "pbDelete", "fDetails", "leName", "leAddress"}) {
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
    // has its name and it is valid, and is selected. Edit, the type's fields,
    // Save, the file picker.
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
        QCOMPARE(modeOf(&form), QStringLiteral("cbRecords+ New+ Edit+ Delete+ fDetails- leName- leAddress-"));

        click(&form, "pbSave"); // Edit
        QCOMPARE(modeOf(&form), QStringLiteral("cbRecords- New- Save+ Cancel+ fDetails+ leName- leAddress-"));
        QCOMPARE(child<QLabel>(&form, "lDatabase")->text(), QStringLiteral("DB Path"));
        enter(&form, "cbType=Microsoft SQL "
                     "Server;leDatabase=vxs;leAddress=db;sbPort=1433;leUsername=sa;lePassword=pw");
        QCOMPARE(child<QLabel>(&form, "lDatabase")->text(), QStringLiteral("DB Name"));
        QVERIFY(!child(&form, "pbSelect")->isEnabled());
        QCOMPARE(click(&form, "pbSave"), QStringList());
        const TORVSQLSettings &beta = list.at(1);
        QCOMPARE(QStringList({beta.displayName(), beta.databaseName, beta.address, QString::number(beta.port),
                              beta.userName, beta.password})
                     .join(';'),
                 QStringLiteral("Beta (Microsoft SQL Server);vxs;db;1433;sa;pw"));
        QCOMPARE(modeOf(&form), QStringLiteral("cbRecords+ New+ Edit+ Delete+ fDetails- leName- leAddress-"));
        QCOMPARE(shown(&form, "cbRecords"), beta.displayName());

        click(&form, "pbSave"); // Edit; back to SQLite, a file picked: only the file is kept
        enter(&form, "cbType=SQLite;leDatabase=");
        const QString picked = dir.filePath(QStringLiteral("picked.db"));
        QVERIFY(QFile(picked).open(QIODevice::WriteOnly));
        ModalAnswerer answerer;
        answerer.answerFile(picked);
        child<QPushButton>(&form, "pbSelect")->click();
        QCOMPARE(answerer.seen().value(0).title, QStringLiteral("Open SQLite File"));
        click(&form, "pbSave");
        QCOMPARE(list.at(1), sqliteConnection("Beta", picked));
    }
    void newOrDuplicate_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("name"); // typed; empty: cancelled
        QTest::addColumn<QString>("offered");
        QTest::addColumn<QString>("stored");
        const auto row = [](const char *name, const char *button, const char *typed, const char *offered,
                            const char *stored) {
            QTest::newRow(name) << button << typed << offered << stored;
        };
        row("new", "pbNew", "Zed", ";Unknown", "Main,Zed");
        row("new, name taken in another case", "pbNew", "MAIN", ";Unknown", "Main");
        row("new, cancelled", "pbNew", "", ";Unknown", "Main");
        row("duplicate, cancelled", "pbDuplicate", "", "Main_Copy;Microsoft SQL Server", "Main");
        row("duplicate, saved", "pbDuplicate", "Main_Copy", "Main_Copy;Microsoft SQL Server",
            "Main,Main_Copy");
    }
    // New and Duplicate offer a record to edit; Save adds and selects it, a
    // name in use is refused and the input kept, Cancel goes back.
    void newOrDuplicate()
    {
        QFETCH(QString, button);
        QFETCH(QString, name);
        QFETCH(QString, offered);
        QFETCH(QString, stored);
        TORVSQLSettings main = sqliteConnection("Main", "vxs");
        main.type = TORVSQLSettings::MSSqlServer;
        TORVSQLSettingsList list{main};
        TDBConnectionForm form(nullptr, &list, QString());
        runAndClose(form);
        click(&form, qPrintable(button));
        QCOMPARE(shown(&form, "leName;cbType;cbRecords"), offered + ';');
        QCOMPARE(modeOf(&form), QStringLiteral("cbRecords- New- Save+ Cancel+ fDetails+ leName+ leAddress+"));
        enter(&form, "leName=" + name);
        const QStringList seen = click(&form, name.isEmpty() ? "pbDelete" : "pbSave"); // Cancel or Save
        QCOMPARE(seen, name == "MAIN" ? saveError("Connection name already exists") : QStringList());
        QCOMPARE(names(list), stored);
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
        QCOMPARE(shown(&form, "cbRecords") + names(list), QStringLiteral("B (SQLite)A,B"));
        for (const char *remaining : {"A", ""}) {
            click(&form, "pbDelete", {QMessageBox::Yes});
            QCOMPARE(names(list) + ';' + shown(&form, "cbRecords"),
                     remaining + QString(*remaining ? ";A (SQLite)" : ";"));
        }
        click(&form, "pbSave"); // Edit
        QCOMPARE(click(&form, "pbSave"), saveError("Can't write, bad index"));
        click(&form, "pbDelete"); // Cancel
        QCOMPARE(child<QComboBox>(&form, "cbRecords")->currentIndex(), -1);
        QVERIFY(list.isEmpty());
    }
    void selectByData_data()
    {
        QTest::addColumn<bool>("withNone");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("index");
        QTest::addColumn<qint64>("id");
        const auto row = [](const char *name, bool withNone, const QVariant &value, int index, qint64 id) {
            QTest::newRow(name) << withNone << value << index << id;
        };
        row("int matches 64-bit data", true, 7, 2, 7);
        row("no match, None", true, 99, 0, -1);
        row("invalid, None", true, QVariant(), 0, -1);
        row("negative, None", true, -5, 0, -1);
        row("no match, no None", false, 99, -1, -1);
        row("match, no None", false, qint64(5), 0, 5);
    }
    // Selects the item of a key, else "None", else nothing.
    void selectByData()
    {
        QFETCH(bool, withNone);
        QFETCH(QVariant, value);
        QFETCH(int, index);
        QFETCH(qint64, id);
        QComboBox box;
        if (withNone)
            box.addItem(QStringLiteral("None"));
        for (const qint64 key : {5, 7, -5})
            box.addItem(QString::number(key), key);
        box.setCurrentIndex(1);
        TEditorBaseForm::SelectByData(&box, value);
        QCOMPARE(box.currentIndex(), index);
        QCOMPARE(TEditorBaseForm::CurrentId(&box), id);
        QCOMPARE(TEditorBaseForm::CurrentData(&box).isValid(), id >= 0);
    }
};

QTEST_MAIN(TestDBConnectionForm)
#include "tst_dbconnectionform.moc"
