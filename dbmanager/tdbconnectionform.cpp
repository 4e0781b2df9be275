#include "tdbconnectionform.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace Veltrix {

TDBConnectionForm::TDBConnectionForm(QWidget *parent, TORVSQLSettingsList *list,
                                     const QString &defaultDirectory)
    : TEditorBaseForm(parent), m_list(list), m_defaultDirectory(defaultDirectory)
{
    if (m_list)
        TORVSQLSettings::sortByName(*m_list, true);
}

TDBConnectionForm::~TDBConnectionForm() = default;

void TDBConnectionForm::SetApplicationConnection(const TORVSQLSettings &settings)
{
    m_applicationConnection = settings;
    if (!m_list)
        return;
    if (settings.isValid() && TORVSQLSettings::indexOfName(*m_list, settings.connectionName) < 0)
        m_list->append(settings);
    TORVSQLSettings::sortByName(*m_list, true);
}

void TDBConnectionForm::SetupDetails(QGridLayout *grid)
{
    QWidget *parent = DetailsFrame();
    auto addRow = [grid, parent](QLabel *label, QWidget *field) {
        const int row = grid->rowCount();
        label->setParent(parent);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        return row;
    };

    m_nameEdit = new QLineEdit(parent);
    m_nameEdit->setObjectName(QStringLiteral("leName"));
    addRow(new QLabel(tr("Name")), m_nameEdit);

    m_typeComboBox = new QComboBox(parent);
    m_typeComboBox->setObjectName(QStringLiteral("cbType"));
    const QStringList displayNames = TORVSQLSettings::displayTypeNames();
    const QStringList storageNames = TORVSQLSettings::storageTypeNames();
    for (int i = 0; i < displayNames.size() && i < storageNames.size(); ++i)
        m_typeComboBox->addItem(displayNames.at(i), storageNames.at(i));
    addRow(new QLabel(tr("Type")), m_typeComboBox);

    m_databaseLabel = new QLabel(tr("DB Name"));
    m_databaseLabel->setObjectName(QStringLiteral("lDatabase"));
    m_databaseEdit = new QLineEdit(parent);
    m_databaseEdit->setObjectName(QStringLiteral("leDatabase"));
    const int databaseRow = addRow(m_databaseLabel, m_databaseEdit);
    m_selectButton = new QPushButton(tr("Select..."), parent);
    m_selectButton->setObjectName(QStringLiteral("pbSelect"));
    grid->addWidget(m_selectButton, databaseRow, 2);

    m_addressEdit = new QLineEdit(parent);
    m_addressEdit->setObjectName(QStringLiteral("leAddress"));
    addRow(new QLabel(tr("Address")), m_addressEdit);

    m_portSpinBox = new QSpinBox(parent);
    m_portSpinBox->setObjectName(QStringLiteral("sbPort"));
    m_portSpinBox->setRange(0, 65535);
    addRow(new QLabel(tr("Port")), m_portSpinBox);

    m_userEdit = new QLineEdit(parent);
    m_userEdit->setObjectName(QStringLiteral("leUsername"));
    addRow(new QLabel(tr("Username")), m_userEdit);

    m_passwordEdit = new QLineEdit(parent);
    m_passwordEdit->setObjectName(QStringLiteral("lePassword"));
    m_passwordEdit->setEchoMode(QLineEdit::Normal);
    addRow(new QLabel(tr("Password")), m_passwordEdit);

    connect(m_typeComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TDBConnectionForm::onTypeChanged);
    connect(m_selectButton, &QPushButton::clicked, this, &TDBConnectionForm::onClickedSelect);
}

void TDBConnectionForm::onTypeChanged(int index)
{
    if (!m_typeComboBox)
        return;
    const TORVSQLSettings::Type type =
        TORVSQLSettings::typeFromString(m_typeComboBox->itemData(index).toString());
    const bool isSQLite = type == TORVSQLSettings::SQLite;
    if (m_databaseLabel)
        m_databaseLabel->setText(isSQLite ? tr("DB Path") : tr("DB Name"));
    if (m_selectButton)
        m_selectButton->setEnabled(isSQLite);
    for (QWidget *field : {static_cast<QWidget *>(m_addressEdit), static_cast<QWidget *>(m_portSpinBox),
                           static_cast<QWidget *>(m_userEdit), static_cast<QWidget *>(m_passwordEdit)}) {
        if (field)
            field->setEnabled(!isSQLite);
    }
}

void TDBConnectionForm::onClickedSelect()
{
    if (!m_databaseEdit)
        return;
    QString path = QDir::fromNativeSeparators(m_databaseEdit->text());
    if (path.isEmpty())
        path = m_defaultDirectory;
    const QString chosen =
        QFileDialog::getOpenFileName(this, tr("Open SQLite File"), path, tr("SQLite Files (*.db)"));
    if (!chosen.isEmpty())
        m_databaseEdit->setText(QDir::toNativeSeparators(chosen));
}

void TDBConnectionForm::ShowSettings(const TORVSQLSettings &settings)
{
    if (!m_nameEdit || !m_typeComboBox || !m_databaseEdit || !m_addressEdit || !m_portSpinBox ||
        !m_userEdit || !m_passwordEdit)
        return;
    m_nameEdit->setText(settings.connectionName);
    m_typeComboBox->setCurrentIndex(settings.type);
    if (settings.type == TORVSQLSettings::SQLite) {
        m_databaseEdit->setText(QDir::toNativeSeparators(settings.databaseName));
        m_addressEdit->clear();
        m_userEdit->clear();
        m_passwordEdit->clear();
        m_portSpinBox->setValue(0);
    } else {
        m_databaseEdit->setText(settings.databaseName);
        m_addressEdit->setText(settings.address);
        m_portSpinBox->setValue(settings.port);
        m_userEdit->setText(settings.userName);
        m_passwordEdit->setText(settings.password);
    }
    // Names of stored connections cannot be changed.
    m_nameEdit->setEnabled(IsNew());
    onTypeChanged(m_typeComboBox->currentIndex());
}

TORVSQLSettings TDBConnectionForm::CollectSettings() const
{
    TORVSQLSettings settings;
    if (!m_nameEdit || !m_typeComboBox || !m_databaseEdit || !m_addressEdit || !m_portSpinBox ||
        !m_userEdit || !m_passwordEdit)
        return settings;
    settings.connectionName = m_nameEdit->text();
    settings.type = TORVSQLSettings::typeFromString(m_typeComboBox->currentData().toString());
    if (settings.type == TORVSQLSettings::SQLite) {
        settings.databaseName = QDir::fromNativeSeparators(m_databaseEdit->text());
    } else {
        settings.databaseName = m_databaseEdit->text();
        settings.address = m_addressEdit->text();
        settings.port = m_portSpinBox->value();
        settings.userName = m_userEdit->text();
        settings.password = m_passwordEdit->text();
    }
    return settings;
}

bool TDBConnectionForm::IsInList(const QVariant &data, int *index) const
{
    bool ok = false;
    const int value = data.toInt(&ok);
    if (!m_list || !data.isValid() || !ok || value < 0 || value >= m_list->size())
        return false;
    *index = value;
    return true;
}

TEditorItemList TDBConnectionForm::ListItems()
{
    TEditorItemList items;
    if (!m_list)
        return items;
    for (int i = 0; i < m_list->size(); ++i)
        items.append(TEditorItem(m_list->at(i).displayName(), i));
    return items;
}

void TDBConnectionForm::LoadItem(const TEditorItem &item)
{
    int index = -1;
    ShowSettings(IsInList(item.data, &index) ? m_list->at(index) : TORVSQLSettings());
}

void TDBConnectionForm::NewItem()
{
    ShowSettings(TORVSQLSettings());
}

void TDBConnectionForm::DuplicateItem(const TEditorItem &item)
{
    int index = -1;
    if (!IsInList(item.data, &index))
        return;
    TORVSQLSettings copy = m_list->at(index);
    copy.connectionName += QStringLiteral("_Copy");
    ShowSettings(copy);
}

QString TDBConnectionForm::SaveItem(TEditorItem &item)
{
    if (!m_list)
        return tr("Can't write, bad index");
    const TORVSQLSettings settings = CollectSettings();
    if (!IsNew()) {
        int index = -1;
        if (!IsInList(item.data, &index))
            return tr("Can't write, bad index");
        (*m_list)[index] = settings;
        TORVSQLSettings::sortByName(*m_list, true);
        if (m_applicationConnection.connectionName == settings.connectionName)
            m_applicationConnection = settings;
        // The display name changes with the type: select the record by its new one.
        item = TEditorItem(settings.displayName(), -1);
        return QString();
    }
    if (TORVSQLSettings::indexOfName(*m_list, settings.connectionName) >= 0)
        return tr("Connection name already exists");
    m_list->append(settings);
    TORVSQLSettings::sortByName(*m_list, true);
    item = TEditorItem(settings.displayName(), -1);
    return QString();
}

QString TDBConnectionForm::DeleteItem(const TEditorItem &item)
{
    int index = -1;
    if (IsInList(item.data, &index))
        m_list->removeAt(index);
    return QString();
}

QString TDBConnectionForm::Title() const
{
    return tr("DB Connection Config");
}

TEditorItem TDBConnectionForm::InitialItem()
{
    if (!m_list)
        return TEditorItem();
    const int index = TORVSQLSettings::indexOfName(*m_list, m_applicationConnection.connectionName);
    if (index < 0)
        return TEditorItem();
    return TEditorItem(m_list->at(index).displayName(), index);
}

} // namespace Veltrix
