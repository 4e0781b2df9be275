#include "tdbconnectionform.h"
#include "testhelpers.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

using Veltrix::TDBConnectionForm;

Q_DECLARE_METATYPE(TORVSQLSettings)

namespace {

TORVSQLSettings serverConnection(const QString &name)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::MSSqlServer;
    settings.connectionName = name;
    settings.address = QStringLiteral("db.example.net");
    settings.port = 1433;
    settings.databaseName = QStringLiteral("vxs");
    settings.userName = QStringLiteral("sa");
    settings.password = QStringLiteral("secret");
    return settings;
}

QLineEdit *edit(QWidget *form, const char *name)
{
    return child<QLineEdit>(form, name);
}

QComboBox *records(QWidget *form)
{
    return child<QComboBox>(form, "cbRecords");
}

QStringList names(const TORVSQLSettingsList &list)
{
    QStringList result;
    for (const TORVSQLSettings &entry : list)
        result << entry.connectionName;
    return result;
}

} // namespace

class TestDBConnectionForm : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_guard = std::make_unique<HangGuard>(); }
    void cleanup()
    {
        QVERIFY2(!m_guard->fired, "a dialog was left unanswered");
        m_guard.reset();
    }
    void newConnection();
    void duplicateOffersCopyName();
    void switchingTypeStoresMatchingFields();
    void applicationConnectionAddedAndSelected_data();
    void applicationConnectionAddedAndSelected();
    void listResortedAfterSaveAndDelete();
    void selectButtonPicksFile();

private:
    std::unique_ptr<HangGuard> m_guard;
};

// A new connection keeps the type Unknown unless chosen; a name taken in
// another letter case is refused.
void TestDBConnectionForm::newConnection()
{
    TORVSQLSettingsList list{sqliteConnection("Main", "/data/vxs.db")};
    TDBConnectionForm form(nullptr, &list, QString());
    runAndClose(form);
    QVERIFY(!edit(&form, "leName")->isEnabled()); // stored names are fixed

    click(form, "pbNew");
    QVERIFY(edit(&form, "leName")->isEnabled());
    QCOMPARE(child<QComboBox>(&form, "cbType")->currentText(), QStringLiteral("Unknown"));
    QVERIFY(edit(&form, "leAddress")->isEnabled());
    QVERIFY(!child<QPushButton>(&form, "pbSelect")->isEnabled());
    edit(&form, "leName")->setText(QStringLiteral("MAIN"));
    const auto seen = click(form, "pbSave");
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.at(0).title, QStringLiteral("Error Saving"));
    QCOMPARE(seen.at(0).text, QStringLiteral("Failed to save.\nConnection name already exists"));
    QCOMPARE(list.size(), 1);
    QCOMPARE(edit(&form, "leName")->text(), QStringLiteral("MAIN")); // input kept, still editing

    edit(&form, "leName")->setText(QStringLiteral("Zed"));
    QVERIFY(click(form, "pbSave").isEmpty());
    QCOMPARE(names(list), (QStringList{"Main", "Zed"}));
    QCOMPARE(list.at(1).type, TORVSQLSettings::Unknown);
    QVERIFY(list.at(1).displayName().endsWith(QStringLiteral(" (Unknown)")));
    QCOMPARE(records(&form)->currentText(), list.at(1).displayName());
}

void TestDBConnectionForm::duplicateOffersCopyName()
{
    TORVSQLSettingsList list{serverConnection("Main")};
    TDBConnectionForm form(nullptr, &list, QString());
    runAndClose(form);

    click(form, "pbDuplicate");
    QCOMPARE(edit(&form, "leName")->text(), QStringLiteral("Main_Copy"));
    QVERIFY(edit(&form, "leName")->isEnabled());
    QCOMPARE(list.size(), 1); // only Save stores it
    click(form, "pbSave");
    QCOMPARE(names(list), (QStringList{"Main", "Main_Copy"}));
    QCOMPARE(list.at(1), serverConnection("Main_Copy"));
    QCOMPARE(records(&form)->currentText(), list.at(1).displayName());
}

void TestDBConnectionForm::switchingTypeStoresMatchingFields()
{
    TORVSQLSettingsList list{sqliteConnection("Main", "/data/vxs.db")};
    TDBConnectionForm form(nullptr, &list, QString());
    runAndClose(form);
    QCOMPARE(child<QLabel>(&form, "lDatabase")->text(), QStringLiteral("DB Path"));
    QCOMPARE(edit(&form, "leDatabase")->text(), QDir::toNativeSeparators("/data/vxs.db"));
    QVERIFY(!edit(&form, "leAddress")->isEnabled());

    click(form, "pbSave"); // Edit
    child<QComboBox>(&form, "cbType")->setCurrentIndex(TORVSQLSettings::MSSqlServer);
    QCOMPARE(child<QLabel>(&form, "lDatabase")->text(), QStringLiteral("DB Name"));
    edit(&form, "leDatabase")->setText(QStringLiteral("vxs"));
    edit(&form, "leAddress")->setText(QStringLiteral("db.example.net"));
    child<QSpinBox>(&form, "sbPort")->setValue(1433);
    edit(&form, "leUsername")->setText(QStringLiteral("sa"));
    edit(&form, "lePassword")->setText(QStringLiteral("secret"));
    click(form, "pbSave");
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.at(0), serverConnection("Main"));
    QCOMPARE(records(&form)->currentText(), serverConnection("Main").displayName());

    // Back to SQLite: only the file is kept.
    click(form, "pbSave");
    child<QComboBox>(&form, "cbType")->setCurrentIndex(TORVSQLSettings::SQLite);
    edit(&form, "leDatabase")->setText(QDir::toNativeSeparators("/data/new.db"));
    click(form, "pbSave");
    QCOMPARE(list.at(0), sqliteConnection("Main", "/data/new.db"));
}

void TestDBConnectionForm::applicationConnectionAddedAndSelected_data()
{
    QTest::addColumn<TORVSQLSettings>("application");
    QTest::addColumn<QStringList>("expectedNames");
    QTest::addColumn<QString>("selected");
    QTest::newRow("absent, added") << sqliteConnection("Beta", "/b.db")
                                   << QStringList{"Alpha", "Beta", "Gamma"}
                                   << QStringLiteral("Beta (SQLite)");
    QTest::newRow("present in other case")
        << sqliteConnection("gamma", "/g.db") << QStringList{"Alpha", "Gamma"}
        << QStringLiteral("Gamma (SQLite)");
    QTest::newRow("invalid, not added") << sqliteConnection("Beta", QString())
                                        << QStringList{"Alpha", "Gamma"} << QStringLiteral("Alpha (SQLite)");
}

void TestDBConnectionForm::applicationConnectionAddedAndSelected()
{
    QFETCH(TORVSQLSettings, application);
    QFETCH(QStringList, expectedNames);
    QFETCH(QString, selected);
    TORVSQLSettingsList list{sqliteConnection("Gamma", "/g.db"), sqliteConnection("Alpha", "/a.db")};
    TDBConnectionForm form(nullptr, &list, QString());
    form.SetApplicationConnection(application);
    QCOMPARE(names(list), expectedNames);
    runAndClose(form);
    QCOMPARE(records(&form)->currentText(), selected);
}

void TestDBConnectionForm::listResortedAfterSaveAndDelete()
{
    TORVSQLSettingsList list{sqliteConnection("Delta", "/d.db"), sqliteConnection("Bravo", "/b.db")};
    TDBConnectionForm form(nullptr, &list, QString());
    QCOMPARE(names(list), (QStringList{"Bravo", "Delta"})); // sorted on construction
    runAndClose(form);

    click(form, "pbNew");
    child<QComboBox>(&form, "cbType")->setCurrentIndex(TORVSQLSettings::SQLite);
    edit(&form, "leName")->setText(QStringLiteral("Alpha"));
    edit(&form, "leDatabase")->setText(QStringLiteral("/a.db"));
    click(form, "pbSave");
    QCOMPARE(names(list), (QStringList{"Alpha", "Bravo", "Delta"}));
    QCOMPARE(itemTexts(records(&form)), (QStringList{"Alpha (SQLite)", "Bravo (SQLite)", "Delta (SQLite)"}));
    QCOMPARE(records(&form)->currentIndex(), 0);
    // Items are rebuilt from the re-sorted list: Delta still shows Delta.
    records(&form)->setCurrentIndex(2);
    QCOMPARE(edit(&form, "leName")->text(), QStringLiteral("Delta"));

    const auto seen = click(form, "pbDelete", {QMessageBox::Yes});
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.at(0).text, QStringLiteral("Confirm Deletion?"));
    QCOMPARE(names(list), (QStringList{"Alpha", "Bravo"}));
    QCOMPARE(records(&form)->count(), 2);
}

void TestDBConnectionForm::selectButtonPicksFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("picked.db"));
    QFile create(file);
    QVERIFY(create.open(QIODevice::WriteOnly));
    create.close();
    TORVSQLSettingsList list{sqliteConnection("Main", dir.filePath(QStringLiteral("old.db")))};
    TDBConnectionForm form(nullptr, &list, dir.path());
    runAndClose(form);
    click(form, "pbSave"); // Edit

    ModalAnswerer answerer;
    answerer.answerFile(file);
    child<QPushButton>(&form, "pbSelect")->click();
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Open SQLite File"));
    QCOMPARE(edit(&form, "leDatabase")->text(), QDir::toNativeSeparators(file));
    click(form, "pbSave");
    QCOMPARE(list.at(0).databaseName, file);
}

QTEST_MAIN(TestDBConnectionForm)
#include "tst_dbconnectionform.moc"
