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
    m_timeZoneBox->addItems(m_timeZones);
}

void TDBLocationConfigForm::ShowLocation(const TLocationConfig &location)
{
    NameEdit()->setText(location.name());
    SelectByData(m_emailBox, QVariant(location.emailConfigId()));
    const QTimeZone zone = location.timeZone().isValid() ? location.timeZone() : QTimeZone::systemTimeZone();
    // A zone the list does not hold leaves the previous choice.
    m_timeZoneBox->setCurrentText(QString::fromUtf8(zone.id()));
}

void TDBLocationConfigForm::CollectRecord(TLocationConfig &location)
{
    location.setEmailConfigId(CurrentId(m_emailBox));
    const QByteArray zoneId = m_timeZoneBox->currentText().toUtf8();
    location.setTimeZone(zoneId.isEmpty() ? QTimeZone() : QTimeZone(zoneId));
}

} // namespace Veltrix
