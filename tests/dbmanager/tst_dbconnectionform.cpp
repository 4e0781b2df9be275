#include "modalanswerer.h"
#include "tdbconnectionform.h"
#include "testhelpers.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

template <typename T> T *child(QWidget *form, const char *name)
{
    T *widget = form->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QComboBox *records(QWidget *form)
{
    return child<QComboBox>(form, "cbRecords");
}

void click(QWidget *form, const char *name)
{
    child<QPushButton>(form, name)->click();
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
    void newConnectionWithUnknownType();
    void nameTakenInAnotherCaseIsRefused();
    void duplicateOffersCopyName();
    void switchingTypeStoresMatchingFields();
    void applicationConnectionAddedAndSelected_data();
    void applicationConnectionAddedAndSelected();
    void listResortedAfterSave();
    void selectButtonPicksFile();
    void deleteRemovesEntry();

private:
    std::unique_ptr<HangGuard> m_guard;
};

void TestDBConnectionForm::newConnectionWithUnknownType()
{
    TORVSQLSettingsList list{sqliteConnection("Main", "/data/vxs.db")};
    TDBConnectionForm form(nullptr, &list, QString());
    runAndClose(form);
    QCOMPARE(form.windowTitle(), QStringLiteral("DB Connection Config"));
    QVERIFY(!child<QLineEdit>(&form, "leName")->isEnabled()); // stored names are fixed

    click(&form, "pbNew");
    QVERIFY(child<QLineEdit>(&form, "leName")->isEnabled());
    QCOMPARE(child<QComboBox>(&form, "cbType")->currentText(), QStringLiteral("Unknown"));
    QVERIFY(child<QLineEdit>(&form, "leAddress")->isEnabled());
    QVERIFY(!child<QPushButton>(&form, "pbSelect")->isEnabled());
    child<QLineEdit>(&form, "leName")->setText(QStringLiteral("Zed"));
    click(&form, "pbSave");

    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(1).connectionName, QStringLiteral("Zed"));
    QCOMPARE(list.at(1).type, TORVSQLSettings::Unknown);
    QVERIFY(list.at(1).displayName().endsWith(QStringLiteral(" (Unknown)")));
    QCOMPARE(records(&form)->currentText(), list.at(1).displayName());
}

void TestDBConnectionForm::nameTakenInAnotherCaseIsRefused()
{
    TORVSQLSettingsList list{sqliteConnection("Main", "/data/vxs.db")};
    TDBConnectionForm form(nullptr, &list, QString());
    runAndClose(form);

    ModalAnswerer answerer;
    click(&form, "pbNew");
    child<QLineEdit>(&form, "leName")->setText(QStringLiteral("MAIN"));
    child<QLineEdit>(&form, "leDatabase")->setText(QStringLiteral("other"));
    click(&form, "pbSave");

    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Error Saving"));
    QCOMPARE(answerer.seen().at(0).text, QStringLiteral("Failed to save.\nConnection name already exists"));
    QCOMPARE(list.size(), 1);
    QCOMPARE(child<QLineEdit>(&form, "leName")->text(), QStringLiteral("MAIN")); // input kept
    QCOMPARE(child<QPushButton>(&form, "pbSave")->text(), QStringLiteral("Save"));
}

void TestDBConnectionForm::duplicateOffersCopyName()
{
    TORVSQLSettingsList list{serverConnection("Main")};
    TDBConnectionForm form(nullptr, &list, QString());
    runAndClose(form);

    click(&form, "pbDuplicate");
    QCOMPARE(child<QLineEdit>(&form, "leName")->text(), QStringLiteral("Main_Copy"));
    QVERIFY(child<QLineEdit>(&form, "leName")->isEnabled());
    QCOMPARE(child<QLineEdit>(&form, "leAddress")->text(), QStringLiteral("db.example.net"));
    QCOMPARE(list.size(), 1); // only Save stores it

    click(&form, "pbSave");
    QCOMPARE(names(list), (QStringList{"Main", "Main_Copy"}));
    TORVSQLSettings expected = serverConnection("Main_Copy");
    QCOMPARE(list.at(1), expected);
    QCOMPARE(records(&form)->currentText(), expected.displayName());
}

void TestDBConnectionForm::switchingTypeStoresMatchingFields()
{
    TORVSQLSettingsList list{sqliteConnection("Main", "/data/vxs.db")};
    TDBConnectionForm form(nullptr, &list, QString());
    runAndClose(form);
    QCOMPARE(child<QLabel>(&form, "lDatabase")->text(), QStringLiteral("DB Path"));
    QCOMPARE(child<QLineEdit>(&form, "leDatabase")->text(), QDir::toNativeSeparators("/data/vxs.db"));
    QVERIFY(!child<QLineEdit>(&form, "leAddress")->isEnabled());

    click(&form, "pbSave"); // Edit
    child<QComboBox>(&form, "cbType")->setCurrentIndex(TORVSQLSettings::MSSqlServer);
    QCOMPARE(child<QLabel>(&form, "lDatabase")->text(), QStringLiteral("DB Name"));
    QVERIFY(child<QLineEdit>(&form, "leAddress")->isEnabled());
    child<QLineEdit>(&form, "leDatabase")->setText(QStringLiteral("vxs"));
    child<QLineEdit>(&form, "leAddress")->setText(QStringLiteral("db.example.net"));
    child<QSpinBox>(&form, "sbPort")->setValue(1433);
    child<QLineEdit>(&form, "leUsername")->setText(QStringLiteral("sa"));
    child<QLineEdit>(&form, "lePassword")->setText(QStringLiteral("secret"));
    click(&form, "pbSave");
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.at(0), serverConnection("Main"));
    QCOMPARE(records(&form)->currentText(), serverConnection("Main").displayName());

    // Back to SQLite: only the file is kept.
    click(&form, "pbSave");
    child<QComboBox>(&form, "cbType")->setCurrentIndex(TORVSQLSettings::SQLite);
    child<QLineEdit>(&form, "leDatabase")->setText(QDir::toNativeSeparators("/data/new.db"));
    click(&form, "pbSave");
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

void TestDBConnectionForm::listResortedAfterSave()
{
    TORVSQLSettingsList list{sqliteConnection("Delta", "/d.db"), sqliteConnection("Bravo", "/b.db")};
    TDBConnectionForm form(nullptr, &list, QString());
    QCOMPARE(names(list), (QStringList{"Bravo", "Delta"})); // sorted on construction
    runAndClose(form);

    click(&form, "pbNew");
    child<QComboBox>(&form, "cbType")->setCurrentIndex(TORVSQLSettings::SQLite);
    child<QLineEdit>(&form, "leName")->setText(QStringLiteral("Alpha"));
    child<QLineEdit>(&form, "leDatabase")->setText(QStringLiteral("/a.db"));
    click(&form, "pbSave");

    QCOMPARE(names(list), (QStringList{"Alpha", "Bravo", "Delta"}));
    QStringList items;
    for (int i = 0; i < records(&form)->count(); ++i)
        items << records(&form)->itemText(i);
    QCOMPARE(items, (QStringList{"Alpha (SQLite)", "Bravo (SQLite)", "Delta (SQLite)"}));
    QCOMPARE(records(&form)->currentIndex(), 0);

    // Items are rebuilt from the re-sorted list: Delta still shows Delta.
    records(&form)->setCurrentIndex(2);
    QCOMPARE(child<QLineEdit>(&form, "leName")->text(), QStringLiteral("Delta"));
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
    click(&form, "pbSave"); // Edit

    // The file dialog resolves a file given to selectFile() against its
    // folder model, which it fills in the background: typing the full path
    // into its file name field is what a user does and needs no model.
    QString caption;
    QTimer chooser;
    chooser.setInterval(20);
    connect(&chooser, &QTimer::timeout, this, [&]() {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        auto *name = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!dialog || !dialog->isVisible() || !name)
            return;
        chooser.stop();
        caption = dialog->windowTitle();
        name->setText(file);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    chooser.start();
    click(&form, "pbSelect");
    chooser.stop();
    QCOMPARE(caption, QStringLiteral("Open SQLite File"));
    QCOMPARE(child<QLineEdit>(&form, "leDatabase")->text(), QDir::toNativeSeparators(file));

    click(&form, "pbSave");
    QCOMPARE(list.at(0).databaseName, file);
}

void TestDBConnectionForm::deleteRemovesEntry()
{
    TORVSQLSettingsList list{sqliteConnection("Alpha", "/a.db"), sqliteConnection("Bravo", "/b.db")};
    TDBConnectionForm form(nullptr, &list, QString());
    form.SetApplicationConnection(list.at(1));
    runAndClose(form);
    QCOMPARE(records(&form)->currentText(), QStringLiteral("Bravo (SQLite)"));

    ModalAnswerer answerer;
    answerer.answer(QMessageBox::Yes);
    click(&form, "pbDelete");
    QCOMPARE(answerer.seenTexts(), QStringList{"Confirm Deletion?"});
    QCOMPARE(names(list), QStringList{"Alpha"});
    QCOMPARE(records(&form)->count(), 1);
}

QTEST_MAIN(TestDBConnectionForm)
#include "tst_dbconnectionform.moc"
