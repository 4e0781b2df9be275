#include "tdblocationconfigform.h"

#include "tdeviceemailconfig.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimeZone>

namespace Veltrix {

using Database::TLocationConfig;

TDBLocationConfigForm::TDBLocationConfigForm(QWidget *parent, Database::TVXDatabase *database,
                                             const QStringList &timeZones)
    : TRecordEditorForm(parent, database), m_timeZones(timeZones)
{}

TDBLocationConfigForm::~TDBLocationConfigForm() = default;

QString TDBLocationConfigForm::Title() const
{
    return tr("DB Location Config");
}

QString TDBLocationConfigForm::EmptyNameText() const
{
    return tr("Location name cannot be empty");
}

QString TDBLocationConfigForm::DuplicateNameText() const
{
    return tr("A location with this name already exists");
}

QString TDBLocationConfigForm::DeleteConfirmText() const
{
    return DeleteQuestionNamingDeviceConfigs(
        tr("1 device config uses this location and will be deleted with it. Delete?"),
        tr("%1 device configs use this location and will be deleted with it. Delete?"),
        tr("The device configs that use this location will be deleted with it. Delete?"));
}

void TDBLocationConfigForm::SetupDetails(QGridLayout *grid)
{
    QLineEdit *nameEdit = NameEdit();
    m_emailBox = new QComboBox(this);
    m_emailBox->setObjectName(QStringLiteral("cbEmail"));
    m_timeZoneBox = new QComboBox(this);
    m_timeZoneBox->setObjectName(QStringLiteral("cbTimezone"));

    grid->addWidget(new QLabel(tr("Name"), this), 0, 0);
    grid->addWidget(nameEdit, 0, 1);
    grid->addWidget(new QLabel(tr("Email"), this), 1, 0);
    grid->addWidget(m_emailBox, 1, 1);
    grid->addWidget(new QLabel(tr("Timezone"), this), 2, 0);
    grid->addWidget(m_timeZoneBox, 2, 1);

    FillKeyNames(m_emailBox, Database::TDeviceEmailConfig());
}

void TDBLocationConfigForm::ShowLocation(const TLocationConfig &location)
{
    NameEdit()->setText(location.name());
    SelectByData(m_emailBox, QVariant(location.emailConfigId()));
    // The location's own zone, as stored, joins the list while it is shown,
    // so that saving writes it back unless another one is chosen. Without
    // one, the machine's zone is offered.
    QString zone = location.timeZoneId();
    if (zone.isEmpty())
        zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    m_timeZoneBox->clear();
    m_timeZoneBox->addItems(m_timeZones);
    if (!m_timeZones.contains(zone))
        m_timeZoneBox->addItem(zone);
    m_timeZoneBox->setCurrentIndex(m_timeZoneBox->findText(zone, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void TDBLocationConfigForm::CollectRecord(TLocationConfig &location)
{
    location.setEmailConfigId(CurrentId(m_emailBox));
    location.setTimeZoneId(m_timeZoneBox->currentText());
}

} // namespace Veltrix
