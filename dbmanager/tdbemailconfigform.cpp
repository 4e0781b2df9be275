#include "tdbemailconfigform.h"

#include "emailaddress.h"
#include "unitsandlevels.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QtMath>

namespace Veltrix {

using Database::TDeviceEmailConfig;

namespace {

// Large enough for a limit in any of the units (micrograms included): Qt's
// default of 99.99 would cut a stored limit down when it is shown and saved.
constexpr double resultLimitMaximum = 999999.0;

} // namespace

TDBEmailConfigForm::TDBEmailConfigForm(QWidget *parent, Database::TVXDatabase *database, int unitsOfMeasure)
    : TRecordEditorForm(parent, database), m_unitsOfMeasure(unitsOfMeasure)
{}

TDBEmailConfigForm::~TDBEmailConfigForm() = default;

QString TDBEmailConfigForm::Title() const
{
    return tr("DB Email Config");
}

QString TDBEmailConfigForm::EmptyNameText() const
{
    return tr("Email Config name cannot be empty");
}

QString TDBEmailConfigForm::DuplicateNameText() const
{
    return tr("An email configuration with this name already exists");
}

QString TDBEmailConfigForm::DeleteConfirmText() const
{
    return DeleteQuestionNamingDeviceConfigs(
        tr("1 device config uses this e-mail config and will be deleted with it. Delete?"),
        tr("%1 device configs use this e-mail config and will be deleted with it. Delete?"),
        tr("The device configs that use this e-mail config will be deleted with it. Delete?"));
}

void TDBEmailConfigForm::SetupDetails(QGridLayout *grid)
{
    auto lineEdit = [this](const char *name) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        return edit;
    };
    auto button = [this](const QString &text, const char *name) {
        auto *push = new QPushButton(text, this);
        push->setObjectName(QLatin1String(name));
        return push;
    };
    auto addressList = [this](const char *name) {
        auto *list = new QListWidget(this);
        list->setObjectName(QLatin1String(name));
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setMaximumHeight(100);
        return list;
    };

    QLineEdit *nameEdit = NameEdit();
    m_toList = addressList("lwToAddresses");
    m_toInput = lineEdit("leToAddress");
    m_addToButton = button(tr("Add Address"), "pbAddAddress");
    m_removeToButton = button(tr("Remove Address"), "pbRemoveAddress");
    m_smsList = addressList("lwSMSAddresses");
    m_smsInput = lineEdit("leSMSAddress");
    m_addSmsButton = button(tr("Add SMS Address"), "pbAddSMSAddress");
    m_removeSmsButton = button(tr("Remove SMS Address"), "pbRemoveSMSAddress");
    m_subjectEdit = lineEdit("leSubject");
    m_messageEdit = lineEdit("leMessage");
    m_resultLimit = new QDoubleSpinBox(this);
    m_resultLimit->setObjectName(QStringLiteral("sbResultLimit"));
    const int decimals = Server::unitOfMeasureDecimals(m_unitsOfMeasure);
    m_resultLimit->setDecimals(decimals);
    m_resultLimit->setSingleStep(qPow(10.0, -decimals));
    m_resultLimit->setRange(0.0, resultLimitMaximum);

    auto *toRow = new QHBoxLayout();
    toRow->addWidget(m_toInput);
    toRow->addWidget(m_addToButton);
    toRow->addWidget(m_removeToButton);
    auto *smsRow = new QHBoxLayout();
    smsRow->addWidget(m_smsInput);
    smsRow->addWidget(m_addSmsButton);
    smsRow->addWidget(m_removeSmsButton);

    int row = 0;
    grid->addWidget(new QLabel(tr("Name"), this), row, 0);
    grid->addWidget(nameEdit, row++, 1);
    grid->addWidget(new QLabel(tr("To Addresses"), this), row, 0);
    grid->addWidget(m_toList, row++, 1);
    grid->addLayout(toRow, row++, 1);
    grid->addWidget(new QLabel(tr("SMS Addresses"), this), row, 0);
    grid->addWidget(m_smsList, row++, 1);
    grid->addLayout(smsRow, row++, 1);
    grid->addWidget(new QLabel(tr("Subject"), this), row, 0);
    grid->addWidget(m_subjectEdit, row++, 1);
    grid->addWidget(new QLabel(tr("Message"), this), row, 0);
    grid->addWidget(m_messageEdit, row++, 1);
    grid->addWidget(new QLabel(tr("Result Limit"), this), row, 0);
    grid->addWidget(m_resultLimit, row, 1);

    connect(m_addToButton, &QPushButton::clicked, this, &TDBEmailConfigForm::onClickedAddAddress);
    connect(m_removeToButton, &QPushButton::clicked, this, &TDBEmailConfigForm::onClickedRemoveAddress);
    connect(m_addSmsButton, &QPushButton::clicked, this, &TDBEmailConfigForm::onClickedAddSMSAddress);
    connect(m_removeSmsButton, &QPushButton::clicked, this, &TDBEmailConfigForm::onClickedRemoveSMSAddress);
}

void TDBEmailConfigForm::AddAddress(QLineEdit *input, QListWidget *list, const QString &invalidText)
{
    if (!isValidEmail(input->text())) {
        QMessageBox::warning(this, tr("Error"), invalidText);
        return;
    }
    list->addItem(input->text());
    input->clear();
}

void TDBEmailConfigForm::RemoveSelected(QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    for (QListWidgetItem *item : selected)
        delete list->takeItem(list->row(item));
}

QStringList TDBEmailConfigForm::Entries(const QListWidget *list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) {
        const QString text = list->item(i)->text();
        if (!text.isEmpty())
            entries.append(text);
    }
    return entries;
}

void TDBEmailConfigForm::onClickedAddAddress()
{
    AddAddress(m_toInput, m_toList, tr("Invalid \"To\" Address"));
}

void TDBEmailConfigForm::onClickedRemoveAddress()
{
    RemoveSelected(m_toList);
}

void TDBEmailConfigForm::onClickedAddSMSAddress()
{
    AddAddress(m_smsInput, m_smsList, tr("Invalid \"SMS\" Address"));
}

void TDBEmailConfigForm::onClickedRemoveSMSAddress()
{
    RemoveSelected(m_smsList);
}

void TDBEmailConfigForm::ShowEmailConfig(const TDeviceEmailConfig &config)
{
    NameEdit()->setText(config.name());
    m_toList->clear();
    m_toList->addItems(config.toAddresses());
    m_smsList->clear();
    m_smsList->addItems(config.smsAddresses());
    m_subjectEdit->setText(config.subject());
    m_messageEdit->setText(config.message());

    // The units' decimals and the usual range widen for a stored limit that
    // needs more, so that showing and saving it does not round or cut it.
    const double limit = config.resultLimit();
    const QString plain = QString::number(limit, 'f', QLocale::FloatingPointShortest);
    const int dot = plain.indexOf(QLatin1Char('.'));
    const int limitDecimals = dot < 0 ? 0 : plain.size() - dot - 1;
    m_resultLimit->setDecimals(qMax(Server::unitOfMeasureDecimals(m_unitsOfMeasure), limitDecimals));
    m_resultLimit->setRange(qMin(0.0, limit), qMax(resultLimitMaximum, limit));
    m_resultLimit->setValue(limit);
}

void TDBEmailConfigForm::CollectRecord(TDeviceEmailConfig &config)
{
    config.setToAddresses(Entries(m_toList));
    config.setSmsAddresses(Entries(m_smsList));
    config.setSubject(m_subjectEdit->text());
    config.setMessage(m_messageEdit->text());
    config.setResultLimit(m_resultLimit->value());
}

} // namespace Veltrix
