#include "teditorbaseform.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include <limits>

namespace Veltrix {

namespace {

constexpr Qt::WindowFlags dialogFlags =
    Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

QFrame *horizontalLine(QWidget *parent, const QString &objectName)
{
    auto *line = new QFrame(parent);
    line->setObjectName(objectName);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

bool isNegativeInteger(const QVariant &value)
{
    switch (static_cast<QMetaType::Type>(value.type())) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::SChar:
        return value.toLongLong() < 0;
    default:
        return false;
    }
}

} // namespace

TEditorBaseForm::TEditorBaseForm(QWidget *parent) : QDialog(parent, dialogFlags)
{
    setModal(true);

    m_mainLayout = new QVBoxLayout(this);

    m_comboBox = new QComboBox(this);
    m_comboBox->setObjectName(QStringLiteral("cbRecords"));
    m_mainLayout->addWidget(m_comboBox);

    m_buttonRow = new QHBoxLayout();
    m_newButton = new QPushButton(tr("New"), this);
    m_newButton->setObjectName(QStringLiteral("pbNew"));
    m_duplicateButton = new QPushButton(tr("Duplicate"), this);
    m_duplicateButton->setObjectName(QStringLiteral("pbDuplicate"));
    m_saveButton = new QPushButton(tr("Save"), this);
    m_saveButton->setObjectName(QStringLiteral("pbSave"));
    m_deleteButton = new QPushButton(tr("Delete"), this);
    m_deleteButton->setObjectName(QStringLiteral("pbDelete"));
    m_buttonRow->addWidget(m_newButton);
    m_buttonRow->addWidget(m_duplicateButton);
    m_buttonRow->addWidget(m_saveButton);
    m_buttonRow->addWidget(m_deleteButton);
    m_mainLayout->addLayout(m_buttonRow);

    m_mainLayout->addWidget(horizontalLine(this, QStringLiteral("fHLineCustom")));

    m_detailsFrame = new QFrame(this);
    m_detailsFrame->setObjectName(QStringLiteral("fDetails"));
    m_detailsGrid = new QGridLayout(m_detailsFrame);
    m_mainLayout->addWidget(m_detailsFrame);

    m_activeLine = horizontalLine(this, QStringLiteral("fHLineActive"));
    m_mainLayout->addWidget(m_activeLine);

    m_activeFrame = new QFrame(this);
    m_activeFrame->setObjectName(QStringLiteral("fActive"));
    m_activeGrid = new QGridLayout(m_activeFrame);
    m_mainLayout->addWidget(m_activeFrame);
    m_mainLayout->addStretch();

    connect(m_comboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TEditorBaseForm::onCurrentIndexChanged);
    connect(m_newButton, &QPushButton::clicked, this, &TEditorBaseForm::onClickedNew);
    connect(m_duplicateButton, &QPushButton::clicked, this, &TEditorBaseForm::onClickedDuplicate);
    connect(m_saveButton, &QPushButton::clicked, this, &TEditorBaseForm::onClickedSave);
    connect(m_deleteButton, &QPushButton::clicked, this, &TEditorBaseForm::onClickedDelete);
}

TEditorBaseForm::~TEditorBaseForm() = default;

int TEditorBaseForm::exec()
{
    setWindowTitle(Title());
    SetupDetails(m_detailsGrid);
    // A line edit cuts what it is given at 32767 characters by default; a
    // longer stored text must be shown, and saved back, whole.
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        edit->setMaxLength(std::numeric_limits<int>::max());
    if (!SetupActive(m_activeGrid)) {
        m_activeLine->hide();
        m_activeFrame->hide();
    }
    RefreshList(InitialItem().text);
    SetMode(false, false);
    adjustSize();

    if (QWidget *parent = parentWidget()) {
        const QRect parentRect(parent->mapToGlobal(QPoint(0, 0)), parent->size());
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), parentRect));
    }
    return QDialog::exec();
}

void TEditorBaseForm::SetMode(bool editing, bool isNew)
{
    m_editing = editing;
    m_isNew = isNew;

    m_comboBox->setEnabled(!editing);
    m_detailsFrame->setEnabled(editing);
    m_activeLine->setEnabled(!editing);
    m_activeFrame->setEnabled(!editing);

    m_newButton->setVisible(CanCreate());
    m_newButton->setEnabled(!editing);
    m_duplicateButton->setVisible(CanDuplicate());
    m_duplicateButton->setEnabled(!editing);

    if (editing) {
        m_saveButton->setText(tr("Save"));
        m_saveButton->setEnabled(true);
        m_deleteButton->setText(tr("Cancel"));
        m_deleteButton->setEnabled(true);
        if (isNew) {
            m_savedIndex = m_comboBox->currentIndex();
            m_comboBox->setCurrentIndex(-1);
        }
    } else {
        m_saveButton->setText(tr("Edit"));
        m_saveButton->setEnabled(CanEdit());
        m_deleteButton->setText(tr("Delete"));
        m_deleteButton->setEnabled(CanDelete());
        m_isNew = false;
        if (m_comboBox->currentIndex() < 0 && m_savedIndex < m_comboBox->count())
            m_comboBox->setCurrentIndex(m_savedIndex);
    }
}

void TEditorBaseForm::RefreshList(const QString &selectText)
{
    const TEditorItemList items = ListItems();
    {
        // Filled quietly: the record is loaded once, below.
        const QSignalBlocker blocker(m_comboBox);
        m_comboBox->clear();
        for (const TEditorItem &item : items)
            m_comboBox->addItem(item.text, item.data);
        if (!selectText.isEmpty()) {
            const int index = m_comboBox->findText(selectText, Qt::MatchExactly);
            if (index >= 0)
                m_comboBox->setCurrentIndex(index);
        }
    }
    onCurrentIndexChanged(m_comboBox->currentIndex());
}

TEditorItem TEditorBaseForm::CurrentItem() const
{
    const int index = m_comboBox->currentIndex();
    if (index < 0)
        return TEditorItem();
    return TEditorItem(m_comboBox->itemText(index), m_comboBox->itemData(index));
}

void TEditorBaseForm::SelectByData(QComboBox *box, const QVariant &value)
{
    if (!box)
        return;
    if (value.isValid() && !isNegativeInteger(value)) {
        int match = -1;
        for (int i = 0; i < box->count(); ++i) {
            const QVariant data = box->itemData(i);
            if (data.isValid() && data == value)
                match = i;
        }
        if (match >= 0) {
            box->setCurrentIndex(match);
            return;
        }
    }
    if (box->count() > 0 && !box->itemData(0).isValid())
        box->setCurrentIndex(0);
    else
        box->setCurrentIndex(-1);
}

QVariant TEditorBaseForm::CurrentData(QComboBox *box)
{
    if (!box || box->currentIndex() < 0)
        return QVariant();
    return box->itemData(box->currentIndex());
}

qint64 TEditorItem::key() const
{
    bool ok = false;
    const qint64 id = data.toLongLong(&ok);
    return data.isValid() && ok ? id : -1;
}

qint64 TEditorBaseForm::CurrentId(QComboBox *box)
{
    return TEditorItem(QString(), CurrentData(box)).key();
}

void TEditorBaseForm::onCurrentIndexChanged(int)
{
    if (m_editing)
        return;
    SetMode(false, false);
    LoadItem(CurrentItem());
}

void TEditorBaseForm::onClickedNew()
{
    SetMode(true, true);
    NewItem();
}

void TEditorBaseForm::onClickedDuplicate()
{
    const TEditorItem item = CurrentItem();
    SetMode(true, true);
    DuplicateItem(item);
}

void TEditorBaseForm::onClickedSave()
{
    if (!m_editing) {
        SetMode(true, false);
        return;
    }
    TEditorItem item = CurrentItem();
    const QString error = SaveItem(item);
    if (!error.isEmpty()) {
        QMessageBox::warning(this, tr("Error Saving"), tr("Failed to save.\n") + error);
        return;
    }
    {
        // Quietly: the list is reloaded and the saved record selected next;
        // loading the record selected before New would only come in between.
        const QSignalBlocker blocker(m_comboBox);
        SetMode(false, false);
    }
    RefreshList(item.text);
}

void TEditorBaseForm::onClickedDelete()
{
    if (m_editing) {
        // Cancel: back to browsing (and to the record shown before New or
        // Duplicate), throwing the edits away.
        SetMode(false, false);
        LoadItem(CurrentItem());
        return;
    }
    // No is the default: Enter does not delete.
    if (QMessageBox::question(this, tr("Deletion"), DeleteConfirmText(), QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    const QString error = DeleteItem(CurrentItem());
    if (!error.isEmpty())
        QMessageBox::warning(this, tr("Error Deleting"), tr("Failed to delete.\n") + error);
    RefreshList(QString());
}

bool TEditorBaseForm::SetupActive(QGridLayout *)
{
    return false;
}

void TEditorBaseForm::DuplicateItem(const TEditorItem &)
{}

QString TEditorBaseForm::DeleteConfirmText() const
{
    return tr("Confirm Deletion?");
}

TEditorItem TEditorBaseForm::InitialItem()
{
    return TEditorItem();
}

bool TEditorBaseForm::CanCreate() const
{
    return true;
}

bool TEditorBaseForm::CanDuplicate() const
{
    return true;
}

bool TEditorBaseForm::CanDelete() const
{
    return true;
}

bool TEditorBaseForm::CanEdit() const
{
    return true;
}

} // namespace Veltrix
