#include "teditorbaseform.h"
#include "testhelpers.h"

#include <QFrame>
#include <QGridLayout>
#include <QLineEdit>
#include <QtTest>

using Veltrix::TEditorBaseForm;
using Veltrix::TEditorItem;
using Veltrix::TEditorItemList;

namespace {

// A record editor over a sorted list of names; item data = index.
class NameEditor : public TEditorBaseForm
{
public:
    QStringList records;
    QString initial;
    QString saveError;
    QString deleteError;
    bool canCreate = true;
    bool canDuplicate = true;
    bool canDelete = true;
    bool canEdit = true;
    QLineEdit *edit = nullptr;
    QList<TEditorItem> saved; // items SaveItem received

    using TEditorBaseForm::DetailsFrame;
    using TEditorBaseForm::IsEditing;
    using TEditorBaseForm::IsNew;

protected:
    void SetupDetails(QGridLayout *grid) override
    {
        edit = new QLineEdit(DetailsFrame());
        grid->addWidget(edit, 0, 0);
    }
    TEditorItemList ListItems() override
    {
        TEditorItemList items;
        for (int i = 0; i < records.size(); ++i)
            items.append(TEditorItem(records.at(i), i));
        return items;
    }
    void LoadItem(const TEditorItem &item) override { edit->setText(item.text); }
    void NewItem() override { edit->setText(QStringLiteral("fresh")); }
    void DuplicateItem(const TEditorItem &item) override
    {
        edit->setText(item.text + QStringLiteral(" copy"));
    }
    QString SaveItem(TEditorItem &item) override
    {
        saved.append(item);
        if (!saveError.isEmpty())
            return saveError;
        if (IsNew()) {
            records.append(edit->text());
        } else {
            const int index = item.data.isValid() ? item.data.toInt() : -1;
            if (index < 0 || index >= records.size())
                return QStringLiteral("nothing selected");
            records[index] = edit->text();
        }
        records.sort();
        item = TEditorItem(edit->text(), -1);
        return QString();
    }
    QString DeleteItem(const TEditorItem &item) override
    {
        if (!deleteError.isEmpty())
            return deleteError;
        records.removeAt(item.data.toInt());
        return QString();
    }
    QString Title() const override { return QStringLiteral("Names"); }
    TEditorItem InitialItem() override { return TEditorItem(initial, QVariant()); }
    bool CanCreate() const override { return canCreate; }
    bool CanDuplicate() const override { return canDuplicate; }
    bool CanDelete() const override { return canDelete; }
    bool CanEdit() const override { return canEdit; }
};

QPushButton *button(QWidget *form, const char *name)
{
    return child<QPushButton>(form, name);
}

QComboBox *records(QWidget *form)
{
    return child<QComboBox>(form, "cbRecords");
}

} // namespace

class TestEditorBaseForm : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_guard = std::make_unique<HangGuard>(); }
    void cleanup()
    {
        QVERIFY2(!m_guard->fired, "a dialog was left unanswered");
        m_guard.reset();
    }
    void browseAndEdit();
    void newOrDuplicate_data();
    void newOrDuplicate();
    void saveErrorKeepsEditModeAndInput();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void emptyList();
    void hiddenAndDisabledButtons();
    void selectByData_data();
    void selectByData();

private:
    std::unique_ptr<HangGuard> m_guard;
};

void TestEditorBaseForm::browseAndEdit()
{
    NameEditor initial;
    initial.records = QStringList{"alpha", "beta", "gamma"};
    initial.initial = QStringLiteral("gamma");
    runAndClose(initial);
    QCOMPARE(records(&initial)->currentText(), QStringLiteral("gamma"));
    QCOMPARE(initial.edit->text(), QStringLiteral("gamma"));

    NameEditor form;
    form.records = initial.records;
    runAndClose(form);
    QCOMPARE(records(&form)->currentText(), QStringLiteral("alpha")); // no initial record: the first
    QVERIFY(records(&form)->isEnabled());
    QVERIFY(!form.DetailsFrame()->isEnabled());
    QCOMPARE(button(&form, "pbSave")->text(), QStringLiteral("Edit"));
    records(&form)->setCurrentIndex(1); // choosing another record loads it
    QCOMPARE(form.edit->text(), QStringLiteral("beta"));

    button(&form, "pbSave")->click(); // Edit
    QVERIFY(form.IsEditing());
    QVERIFY(!form.IsNew());
    QVERIFY(!records(&form)->isEnabled());
    QVERIFY(form.DetailsFrame()->isEnabled());
    QCOMPARE(button(&form, "pbSave")->text(), QStringLiteral("Save"));
    QCOMPARE(button(&form, "pbDelete")->text(), QStringLiteral("Cancel"));
    QVERIFY(!button(&form, "pbNew")->isEnabled());
    QCOMPARE(records(&form)->currentText(), QStringLiteral("beta")); // an edit keeps the selection

    form.edit->setText(QStringLiteral("zeta"));
    button(&form, "pbSave")->click();
    QCOMPARE(form.saved.last().text, QStringLiteral("beta"));
    QCOMPARE(form.saved.last().data, QVariant(1));
    QVERIFY(!form.IsEditing());
    QCOMPARE(itemTexts(records(&form)), (QStringList{"alpha", "gamma", "zeta"}));
    QCOMPARE(records(&form)->currentText(), QStringLiteral("zeta"));
    QCOMPARE(form.edit->text(), QStringLiteral("zeta"));
}

void TestEditorBaseForm::newOrDuplicate_data()
{
    QTest::addColumn<bool>("duplicate");
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("offered");
    QTest::newRow("new, saved") << false << true << QStringLiteral("fresh");
    QTest::newRow("new, cancelled") << false << false << QStringLiteral("fresh");
    QTest::newRow("duplicate, saved") << true << true << QStringLiteral("beta copy");
    QTest::newRow("duplicate, cancelled") << true << false << QStringLiteral("beta copy");
}

// Saved, the new record is selected in the re-sorted list; cancelled, the
// previous record returns.
void TestEditorBaseForm::newOrDuplicate()
{
    QFETCH(bool, duplicate);
    QFETCH(bool, save);
    QFETCH(QString, offered);
    NameEditor form;
    form.records = QStringList{"alpha", "beta", "gamma"};
    runAndClose(form);
    records(&form)->setCurrentIndex(1);

    button(&form, duplicate ? "pbDuplicate" : "pbNew")->click();
    QVERIFY(form.IsEditing());
    QVERIFY(form.IsNew());
    QCOMPARE(records(&form)->currentIndex(), -1);
    QCOMPARE(form.edit->text(), offered);

    if (save) {
        button(&form, "pbSave")->click();
        QVERIFY(form.saved.last().text.isEmpty()); // nothing was selected
        QVERIFY(!form.IsEditing());
        QVERIFY(!form.IsNew());
        QCOMPARE(records(&form)->count(), 4);
        QCOMPARE(records(&form)->currentText(), offered);
        QCOMPARE(records(&form)->currentIndex(), 2);
    } else {
        form.edit->setText(QStringLiteral("typed"));
        button(&form, "pbDelete")->click(); // Cancel
        QVERIFY(!form.IsEditing());
        QCOMPARE(records(&form)->currentIndex(), 1);
        QCOMPARE(form.edit->text(), QStringLiteral("beta"));
        QCOMPARE(button(&form, "pbDelete")->text(), QStringLiteral("Delete"));
        QCOMPARE(form.records.size(), 3);
        QVERIFY(form.saved.isEmpty());
    }
}

void TestEditorBaseForm::saveErrorKeepsEditModeAndInput()
{
    NameEditor form;
    form.records = QStringList{"alpha"};
    runAndClose(form);
    form.saveError = QStringLiteral("Name is taken");

    button(&form, "pbNew")->click();
    form.edit->setText(QStringLiteral("typed"));
    const auto seen = click(form, "pbSave");
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.at(0).title, QStringLiteral("Error Saving"));
    QCOMPARE(seen.at(0).text, QStringLiteral("Failed to save.\nName is taken"));
    QVERIFY(form.IsEditing());
    QVERIFY(form.IsNew());
    QCOMPARE(form.edit->text(), QStringLiteral("typed"));
    QCOMPARE(button(&form, "pbSave")->text(), QStringLiteral("Save"));
    QCOMPARE(form.records, QStringList{"alpha"});
}

void TestEditorBaseForm::deleteAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QStringList>("boxTitles");
    QTest::newRow("no") << int(QMessageBox::No) << QString() << QStringList{"alpha", "beta"}
                        << QStringList{"Deletion"};
    QTest::newRow("yes") << int(QMessageBox::Yes) << QString() << QStringList{"alpha"}
                         << QStringList{"Deletion"};
    QTest::newRow("yes, fails") << int(QMessageBox::Yes) << QStringLiteral("in use")
                                << QStringList{"alpha", "beta"} << QStringList{"Deletion", "Error Deleting"};
}

void TestEditorBaseForm::deleteAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(QString, error);
    QFETCH(QStringList, remaining);
    QFETCH(QStringList, boxTitles);
    NameEditor form;
    form.records = QStringList{"alpha", "beta"};
    form.deleteError = error;
    runAndClose(form);
    records(&form)->setCurrentIndex(1);

    const auto seen = click(form, "pbDelete", {QMessageBox::StandardButton(answer)});
    QStringList titles;
    for (const ModalAnswerer::Seen &box : seen)
        titles << box.title;
    QCOMPARE(titles, boxTitles);
    QCOMPARE(seen.at(0).text, QStringLiteral("Confirm Deletion?"));
    if (!error.isEmpty())
        QCOMPARE(seen.at(1).text, QStringLiteral("Failed to delete.\nin use"));
    QCOMPARE(form.records, remaining);
    if (answer == QMessageBox::Yes) {
        QCOMPARE(records(&form)->currentIndex(), 0); // the list is reloaded from the start
        QCOMPARE(form.edit->text(), QStringLiteral("alpha"));
    } else {
        QCOMPARE(records(&form)->currentText(), QStringLiteral("beta"));
    }
}

void TestEditorBaseForm::emptyList()
{
    NameEditor form;
    runAndClose(form);
    QCOMPARE(records(&form)->count(), 0);
    QVERIFY(form.edit->text().isEmpty());

    // Edit on nothing reaches SaveItem with an empty item, whose error is shown.
    button(&form, "pbSave")->click();
    QCOMPARE(click(form, "pbSave").size(), 1);
    QCOMPARE(form.saved.size(), 1);
    QVERIFY(form.saved.at(0).isEmpty());

    button(&form, "pbDelete")->click(); // Cancel leaves nothing selected
    QVERIFY(!form.IsEditing());
    QCOMPARE(records(&form)->currentIndex(), -1);
}

void TestEditorBaseForm::hiddenAndDisabledButtons()
{
    NameEditor form;
    form.records = QStringList{"alpha"};
    form.canDuplicate = false;
    form.canEdit = false;
    form.canDelete = false;
    runAndClose(form);
    QVERIFY(button(&form, "pbNew")->isEnabled());
    QVERIFY(button(&form, "pbDuplicate")->isHidden());
    QVERIFY(!button(&form, "pbSave")->isEnabled());
    QVERIFY(!button(&form, "pbDelete")->isEnabled());
    button(&form, "pbNew")->click(); // a new record can still be saved or cancelled
    QVERIFY(button(&form, "pbSave")->isEnabled());
    QVERIFY(button(&form, "pbDelete")->isEnabled());

    NameEditor noCreate;
    noCreate.canCreate = false;
    runAndClose(noCreate);
    QVERIFY(button(&noCreate, "pbNew")->isHidden());
    QVERIFY(!button(&noCreate, "pbDuplicate")->isHidden());
}

void TestEditorBaseForm::selectByData_data()
{
    QTest::addColumn<bool>("withNone");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("index");
    QTest::addColumn<qint64>("id");
    QTest::newRow("int matches 64-bit data") << true << QVariant(7) << 2 << qint64(7);
    QTest::newRow("no match, None") << true << QVariant(99) << 0 << qint64(-1);
    QTest::newRow("invalid, None") << true << QVariant() << 0 << qint64(-1);
    QTest::newRow("no match, no None") << false << QVariant(99) << -1 << qint64(-1);
    QTest::newRow("match, no None") << false << QVariant(qint64(5)) << 0 << qint64(5);
}

void TestEditorBaseForm::selectByData()
{
    QFETCH(bool, withNone);
    QFETCH(QVariant, value);
    QFETCH(int, index);
    QFETCH(qint64, id);
    QComboBox box;
    if (withNone)
        box.addItem(QStringLiteral("None"));
    box.addItem(QStringLiteral("five"), qint64(5));
    box.addItem(QStringLiteral("seven"), qint64(7));
    box.setCurrentIndex(1);

    TEditorBaseForm::SelectByData(&box, value);
    QCOMPARE(box.currentIndex(), index);
    QCOMPARE(TEditorBaseForm::CurrentId(&box), id);
    QCOMPARE(TEditorBaseForm::CurrentData(&box).isValid(), id >= 0);
}

QTEST_MAIN(TestEditorBaseForm)
#include "tst_editorbaseform.moc"
