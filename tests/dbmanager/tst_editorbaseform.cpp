#include "modalanswerer.h"
#include "teditorbaseform.h"
#include "testhelpers.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
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
    QList<TEditorItem> saved;   // items SaveItem received
    QList<TEditorItem> deleted; // items DeleteItem received

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
        deleted.append(item);
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
    return form->findChild<QPushButton *>(QLatin1String(name));
}

QComboBox *records(QWidget *form)
{
    return form->findChild<QComboBox *>(QStringLiteral("cbRecords"));
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
    void browsesFirstOrInitialRecord();
    void editSavesAndReselects();
    void newRecordIsSavedAndSelected();
    void cancelAfterNewOrDuplicateRestoresPrevious_data();
    void cancelAfterNewOrDuplicateRestoresPrevious();
    void duplicateOffersCopy();
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

void TestEditorBaseForm::browsesFirstOrInitialRecord()
{
    NameEditor first;
    first.records = QStringList{"alpha", "beta", "gamma"};
    runAndClose(first);
    QCOMPARE(first.windowTitle(), QStringLiteral("Names"));
    QCOMPARE(records(&first)->currentText(), QStringLiteral("alpha"));
    QCOMPARE(first.edit->text(), QStringLiteral("alpha"));
    QVERIFY(records(&first)->isEnabled());
    QVERIFY(!first.DetailsFrame()->isEnabled());
    QCOMPARE(button(&first, "pbSave")->text(), QStringLiteral("Edit"));
    QCOMPARE(button(&first, "pbDelete")->text(), QStringLiteral("Delete"));
    // No editor here fills the active area: it is hidden.
    QVERIFY(first.findChild<QFrame *>(QStringLiteral("fHLineActive"))->isHidden());

    NameEditor initial;
    initial.records = QStringList{"alpha", "beta", "gamma"};
    initial.initial = QStringLiteral("gamma");
    runAndClose(initial);
    QCOMPARE(records(&initial)->currentText(), QStringLiteral("gamma"));
    QCOMPARE(initial.edit->text(), QStringLiteral("gamma"));

    // Choosing another record loads it.
    records(&initial)->setCurrentIndex(1);
    QCOMPARE(initial.edit->text(), QStringLiteral("beta"));
}

void TestEditorBaseForm::editSavesAndReselects()
{
    NameEditor form;
    form.records = QStringList{"alpha", "beta", "gamma"};
    runAndClose(form);
    records(&form)->setCurrentIndex(1);

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
    QCOMPARE(form.records, (QStringList{"alpha", "gamma", "zeta"}));
    QCOMPARE(records(&form)->count(), 3);
    QCOMPARE(records(&form)->currentText(), QStringLiteral("zeta"));
    QCOMPARE(form.edit->text(), QStringLiteral("zeta"));
}

void TestEditorBaseForm::newRecordIsSavedAndSelected()
{
    NameEditor form;
    form.records = QStringList{"beta", "gamma"};
    runAndClose(form);

    button(&form, "pbNew")->click();
    QVERIFY(form.IsEditing());
    QVERIFY(form.IsNew());
    QCOMPARE(records(&form)->currentIndex(), -1);
    QCOMPARE(form.edit->text(), QStringLiteral("fresh"));

    form.edit->setText(QStringLiteral("alpha"));
    button(&form, "pbSave")->click();
    QVERIFY(form.saved.last().text.isEmpty()); // nothing was selected
    QVERIFY(!form.IsEditing());
    QVERIFY(!form.IsNew());
    QCOMPARE(records(&form)->currentText(), QStringLiteral("alpha"));
    QCOMPARE(records(&form)->currentIndex(), 0);
}

void TestEditorBaseForm::cancelAfterNewOrDuplicateRestoresPrevious_data()
{
    QTest::addColumn<bool>("duplicate");
    QTest::newRow("new") << false;
    QTest::newRow("duplicate") << true;
}

void TestEditorBaseForm::cancelAfterNewOrDuplicateRestoresPrevious()
{
    QFETCH(bool, duplicate);
    NameEditor form;
    form.records = QStringList{"alpha", "beta", "gamma"};
    runAndClose(form);
    records(&form)->setCurrentIndex(2);

    button(&form, duplicate ? "pbDuplicate" : "pbNew")->click();
    QCOMPARE(records(&form)->currentIndex(), -1);
    form.edit->setText(QStringLiteral("typed"));

    button(&form, "pbDelete")->click(); // Cancel
    QVERIFY(!form.IsEditing());
    QCOMPARE(records(&form)->currentIndex(), 2);
    QCOMPARE(form.edit->text(), QStringLiteral("gamma"));
    QCOMPARE(button(&form, "pbDelete")->text(), QStringLiteral("Delete"));
    QCOMPARE(form.records.size(), 3);
    QVERIFY(form.saved.isEmpty());
}

void TestEditorBaseForm::duplicateOffersCopy()
{
    NameEditor form;
    form.records = QStringList{"alpha", "beta"};
    runAndClose(form);
    records(&form)->setCurrentIndex(1);

    button(&form, "pbDuplicate")->click();
    QVERIFY(form.IsNew());
    QCOMPARE(form.edit->text(), QStringLiteral("beta copy"));
    button(&form, "pbSave")->click();
    QCOMPARE(form.records, (QStringList{"alpha", "beta", "beta copy"}));
    QCOMPARE(records(&form)->currentText(), QStringLiteral("beta copy"));
}

void TestEditorBaseForm::saveErrorKeepsEditModeAndInput()
{
    NameEditor form;
    form.records = QStringList{"alpha"};
    runAndClose(form);
    form.saveError = QStringLiteral("Name is taken");

    ModalAnswerer answerer;
    button(&form, "pbNew")->click();
    form.edit->setText(QStringLiteral("typed"));
    button(&form, "pbSave")->click();

    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Error Saving"));
    QCOMPARE(answerer.seen().at(0).text, QStringLiteral("Failed to save.\nName is taken"));
    QVERIFY(form.IsEditing());
    QVERIFY(form.IsNew());
    QCOMPARE(form.edit->text(), QStringLiteral("typed"));
    QCOMPARE(button(&form, "pbSave")->text(), QStringLiteral("Save"));
    QCOMPARE(records(&form)->currentIndex(), -1);
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

    ModalAnswerer answerer;
    answerer.answer(QMessageBox::StandardButton(answer));
    button(&form, "pbDelete")->click();

    QStringList titles;
    for (const ModalAnswerer::Seen &seen : answerer.seen())
        titles << seen.title;
    QCOMPARE(titles, boxTitles);
    QCOMPARE(answerer.seen().at(0).text, QStringLiteral("Confirm Deletion?"));
    if (!error.isEmpty())
        QCOMPARE(answerer.seen().at(1).text, QStringLiteral("Failed to delete.\nin use"));
    QCOMPARE(form.records, remaining);
    QCOMPARE(form.deleted.size(), answer == QMessageBox::Yes ? 1 : 0);
    if (answer == QMessageBox::Yes) {
        QCOMPARE(form.deleted.at(0).text, QStringLiteral("beta"));
        // The list is reloaded from the start.
        QCOMPARE(records(&form)->currentIndex(), 0);
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
    QVERIFY(button(&form, "pbSave")->isEnabled()); // Edit

    // Edit on nothing reaches SaveItem with an empty item, whose error is shown.
    ModalAnswerer answerer;
    button(&form, "pbSave")->click();
    button(&form, "pbSave")->click();
    QCOMPARE(form.saved.size(), 1);
    QVERIFY(form.saved.at(0).isEmpty());
    QCOMPARE(answerer.seenTexts(), QStringList{"Failed to save.\nnothing selected"});

    // Cancel on an empty list leaves nothing selected.
    button(&form, "pbDelete")->click();
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
    QVERIFY(!button(&form, "pbNew")->isHidden());
    QVERIFY(button(&form, "pbNew")->isEnabled());
    QVERIFY(button(&form, "pbDuplicate")->isHidden());
    QVERIFY(!button(&form, "pbSave")->isEnabled());
    QVERIFY(!button(&form, "pbDelete")->isEnabled());

    // A new record can still be saved or cancelled.
    button(&form, "pbNew")->click();
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

    QTest::newRow("match") << true << QVariant(qint64(7)) << 2 << qint64(7);
    QTest::newRow("int matches 64-bit data") << true << QVariant(7) << 2 << qint64(7);
    QTest::newRow("no match, None") << true << QVariant(99) << 0 << qint64(-1);
    QTest::newRow("negative, None") << true << QVariant(-1) << 0 << qint64(-1);
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
