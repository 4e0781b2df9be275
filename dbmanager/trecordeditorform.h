#pragma once

#include "recordaccess.h"
#include "teditorbaseform.h"
#include "tvxdatabase.h"

#include <QComboBox>
#include <QLineEdit>
#include <QList>

#include <algorithm>

namespace Veltrix {

// The skeleton shared by the editors of the named configuration records
// (locations, e-mail configs, device configs): the list of the records' keys
// and names, loading a record by its key, a new or duplicated record, the
// name field with its checks, saving and deleting inside one transaction.
// A derived editor supplies its widgets, shows and collects its own fields
// and adds its own checks.
//
// `Record` is a Database::TItemBase class with a default constructor. Having
// no Q_OBJECT of its own (moc does not read templates), the class words its
// texts in TEditorBaseForm's translation context.
template <typename Record> class TRecordEditorForm : public TEditorBaseForm
{
public:
    TRecordEditorForm(QWidget *parent, Database::TVXDatabase *database)
        : TEditorBaseForm(parent), m_database(database)
    {}

protected:
    // --- what each editor supplies, beside SetupDetails() (which places
    // NameEdit() among the editor's widgets) and Title() ----------------------
    // Fills every field, the name included, from `record`.
    virtual void ShowRecord(const Record &record) = 0;
    // Copies the fields other than the name into `record`.
    virtual void CollectRecord(Record &record) = 0;
    // The refusal of an empty name.
    virtual QString EmptyNameText() const = 0;
    // The refusal of a new record named like a listed one; empty when names
    // may repeat.
    virtual QString DuplicateNameText() const { return QString(); }
    // Prepares a new record before its fields are collected: a refusal text,
    // or empty.
    virtual QString PrepareNewRecord(Record &) { return QString(); }
    // Whether the record's key is stored with it (a key the database does not
    // assign).
    virtual bool StoresKey() const { return false; }
    // After a successful save; may rewrite `item` to name the stored record.
    virtual void RecordSaved(const Record &, TEditorItem &) {}

    // --- for derived editors ----------------------------------------------------
    TORVSQLBase *Sql() const { return m_database ? m_database->Sql() : nullptr; }
    // The name field (object name "leName"), created on first use so that each
    // editor gives it its place in the tab order.
    QLineEdit *NameEdit()
    {
        if (!m_nameEdit) {
            m_nameEdit = new QLineEdit(this);
            m_nameEdit->setObjectName(QStringLiteral("leName"));
        }
        return m_nameEdit;
    }
    // The deletion question for a record whose device configs the database
    // deletes with it: the base's question when none uses the current record,
    // else `one`, `many` (%1: how many) or, when they cannot be counted,
    // `uncounted`.
    QString DeleteQuestionNamingDeviceConfigs(const QString &one, const QString &many,
                                              const QString &uncounted) const
    {
        const int users = Database::countDeviceConfigsUsing(Sql(), Record(), CurrentItem().key());
        if (users == 0)
            return TEditorBaseForm::DeleteConfirmText();
        if (users < 0)
            return uncounted;
        return users == 1 ? one : many.arg(users);
    }
    // The keys and names read by the last ListItems().
    const QList<Database::TKeyName> &KeyNames() const { return m_keyNames; }
    // Fills `box` with "None" (no data) and then the names of the records of
    // `record`'s table, each with its key as data.
    void FillKeyNames(QComboBox *box, const Database::TItemBase &record) const
    {
        box->clear();
        box->addItem(TEditorBaseForm::tr("None"));
        for (const Database::TKeyName &pair : Database::selectKeyNames(Sql(), record))
            box->addItem(pair.second, QVariant(pair.first));
    }

    // --- the editor base's operations ---------------------------------------
    TEditorItemList ListItems() override
    {
        m_keyNames = Database::selectKeyNames(Sql(), Record());
        TEditorItemList items;
        for (const Database::TKeyName &pair : qAsConst(m_keyNames))
            items.append(TEditorItem(pair.second, QVariant(pair.first)));
        return items;
    }

    void LoadItem(const TEditorItem &item) override
    {
        ShowRecord(Database::recordByIdOrDefault<Record>(Sql(), item.key()));
    }

    void NewItem() override { ShowRecord(Record()); }

    void DuplicateItem(const TEditorItem &item) override
    {
        Record record = Database::recordByIdOrDefault<Record>(Sql(), item.key());
        record.setName(record.name() + QStringLiteral("_Copy"));
        ShowRecord(record);
    }

    // New record: the duplicate-name check, then PrepareNewRecord(); stored
    // record: read again by its key. Then the empty-name check, the fields,
    // and the save inside one transaction.
    QString SaveItem(TEditorItem &item) override
    {
        Record record;
        const QString name = NameEdit()->text();
        if (IsNew()) {
            const QString duplicate = DuplicateNameText();
            if (!duplicate.isEmpty() &&
                std::any_of(m_keyNames.cbegin(), m_keyNames.cend(),
                            [&name](const Database::TKeyName &pair) { return pair.second == name; }))
                return duplicate;
            const QString refusal = PrepareNewRecord(record);
            if (!refusal.isEmpty())
                return refusal;
        } else if (!Database::selectRecordById(Sql(), item.key(), record)) {
            return TEditorBaseForm::tr("Unable to find this config.");
        }
        if (name.isEmpty())
            return EmptyNameText();

        record.setName(name);
        CollectRecord(record);
        const QString error = Database::saveInTransaction(Sql(), record, StoresKey());
        if (error.isEmpty()) {
            // The list is read again with the saved record shown, a new or renamed one too.
            item = TEditorItem(name, IsNew() ? QVariant() : item.data);
            RecordSaved(record, item);
        }
        return error;
    }

    QString DeleteItem(const TEditorItem &item) override
    {
        const qint64 key = item.key();
        if (key < 0)
            return QString();
        const Record record;
        return Database::deleteInTransaction(Sql(), record.tableName(), record.idColumn(), key);
    }

private:
    Database::TVXDatabase *m_database = nullptr;
    QLineEdit *m_nameEdit = nullptr;
    QList<Database::TKeyName> m_keyNames;
};

} // namespace Veltrix
