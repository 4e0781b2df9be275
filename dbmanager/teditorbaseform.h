#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QVariant>

class QComboBox;
class QFrame;
class QGridLayout;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

namespace Veltrix {

// One entry of a record editor's combo box: the text shown and the item data
// (as a rule the record's key).
struct TEditorItem
{
    QString text;
    QVariant data;

    TEditorItem() = default;
    TEditorItem(const QString &itemText, const QVariant &itemData) : text(itemText), data(itemData) {}

    bool isEmpty() const { return text.isEmpty() && !data.isValid(); }
    // The item data as a record key, or -1 when it holds none.
    qint64 key() const;
};

using TEditorItemList = QList<TEditorItem>;

// The frame of every record editor: a combo box listing the records, the
// New / Duplicate / Save(Edit) / Delete(Cancel) buttons and a details area that
// the derived editor fills. The base owns the browse / edit / new model and
// shows every error text a derived editor returns; it never writes anything
// itself.
class TEditorBaseForm : public QDialog
{
    Q_OBJECT
public:
    explicit TEditorBaseForm(QWidget *parent = nullptr);
    ~TEditorBaseForm() override;

    // Builds the fields, loads the list and runs the modal loop.
    int exec() override;

    // Switches between browsing (editing false) and editing an existing
    // (isNew false) or a new record.
    void SetMode(bool editing, bool isNew);
    // Reloads the combo box from ListItems() and selects the item with the
    // text `selectText` (the first item when it is empty).
    void RefreshList(const QString &selectText);
    // The combo box's current text and data; an empty item when nothing is current.
    TEditorItem CurrentItem() const;

    // Makes current the (last) item whose data equals `value`. An invalid
    // value, a negative integer or no match selects a leading "None" item
    // (item 0 without data) when there is one, else nothing.
    static void SelectByData(QComboBox *box, const QVariant &value);
    // The current item's data; an invalid QVariant when no item is current.
    static QVariant CurrentData(QComboBox *box);
    // The current item's data as an integer; -1 when it is invalid.
    static qint64 CurrentId(QComboBox *box);

public slots:
    void onClickedNew();
    void onClickedDuplicate();
    void onClickedSave();
    void onClickedDelete();

protected:
    // --- the record-specific parts ------------------------------------------
    // Fills the always-available area; false hides it.
    virtual bool SetupActive(QGridLayout *grid);
    // Creates the record's field widgets in the details grid.
    virtual void SetupDetails(QGridLayout *grid) = 0;
    // All records, in display order.
    virtual TEditorItemList ListItems() = 0;
    // Shows the record of `item` in the fields.
    virtual void LoadItem(const TEditorItem &item) = 0;
    // Fills the fields with the defaults of a new record.
    virtual void NewItem() = 0;
    // Fills the fields with a copy of `item` as a new record (default: nothing).
    virtual void DuplicateItem(const TEditorItem &item);
    // Validates and stores the fields; empty means success. May rewrite
    // `item` so that the list selects the stored record after reloading.
    virtual QString SaveItem(TEditorItem &item) = 0;
    // Deletes the record; empty means success.
    virtual QString DeleteItem(const TEditorItem &item) = 0;
    virtual QString Title() const = 0;
    // Default: "Confirm Deletion?"
    virtual QString DeleteConfirmText() const;
    // The record selected when the dialog opens (default: none, the first one).
    virtual TEditorItem InitialItem();
    virtual bool CanCreate() const;
    virtual bool CanDuplicate() const;
    virtual bool CanDelete() const;
    virtual bool CanEdit() const;

    // --- state for derived editors ------------------------------------------
    bool IsNew() const { return m_isNew; }
    bool IsEditing() const { return m_editing; }
    QComboBox *RecordComboBox() const { return m_comboBox; }
    QFrame *DetailsFrame() const { return m_detailsFrame; }
    QGridLayout *DetailsGrid() const { return m_detailsGrid; }

private slots:
    void onCurrentIndexChanged(int index);

private:
    QVBoxLayout *m_mainLayout = nullptr;
    QFrame *m_activeLine = nullptr;
    QFrame *m_activeFrame = nullptr;
    QGridLayout *m_activeGrid = nullptr;
    QFrame *m_detailsFrame = nullptr;
    QGridLayout *m_detailsGrid = nullptr;
    QHBoxLayout *m_buttonRow = nullptr;
    QComboBox *m_comboBox = nullptr;
    QPushButton *m_newButton = nullptr;
    QPushButton *m_duplicateButton = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    bool m_isNew = false;
    bool m_editing = false;
    int m_savedIndex = -1;
};

} // namespace Veltrix
