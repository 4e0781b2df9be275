#include "tdbdeviceconfigform.h"

#include "tdeviceemailconfig.h"
#include "tlocationconfig.h"
#include "torvsqldialects.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace Veltrix {

using Database::TDeviceConfig;
using Database::TDeviceState;

TDBDeviceConfigForm::TDBDeviceConfigForm(QWidget *parent, Database::TVXDatabase *database)
    : TRecordEditorForm(parent, database)
{}

TDBDeviceConfigForm::~TDBDeviceConfigForm() = default;

QString TDBDeviceConfigForm::Title() const
{
    return tr("DB Device Config");
}

QString TDBDeviceConfigForm::EmptyNameText() const
{
    return tr("Device name cannot be empty");
}

bool TDBDeviceConfigForm::StoresKey() const
{
    return true;
}

void TDBDeviceConfigForm::SetupDetails(QGridLayout *grid)
{
    m_serialBox = new QComboBox(this);
    m_serialBox->setObjectName(QStringLiteral("cbSerial"));
    m_enabledBox = new QCheckBox(this);
    m_enabledBox->setObjectName(QStringLiteral("cbEnabled"));
    QLineEdit *nameEdit = NameEdit();
    m_hostNameEdit = new QLineEdit(this);
    m_hostNameEdit->setObjectName(QStringLiteral("leHostname"));
    m_locationBox = new QComboBox(this);
    m_locationBox->setObjectName(QStringLiteral("cbLocation"));
    m_emailBox = new QComboBox(this);
    m_emailBox->setObjectName(QStringLiteral("cbEmail"));

    auto *overrideNote =
        new QLabel(tr("Any configs specified from here down will override configs specified in the location "
                      "config."),
                   this);
    overrideNote->setWordWrap(true);

    grid->addWidget(new QLabel(tr("Serial"), this), 0, 0);
    grid->addWidget(m_serialBox, 0, 1);
    grid->addWidget(new QLabel(tr("Enabled"), this), 1, 0);
    grid->addWidget(m_enabledBox, 1, 1);
    grid->addWidget(new QLabel(tr("Name"), this), 2, 0);
    grid->addWidget(nameEdit, 2, 1);
    grid->addWidget(new QLabel(tr("Hostname"), this), 3, 0);
    grid->addWidget(m_hostNameEdit, 3, 1);
    grid->addWidget(new QLabel(tr("Location"), this), 4, 0);
    grid->addWidget(m_locationBox, 4, 1);
    grid->addWidget(overrideNote, 5, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Email"), this), 6, 0);
    grid->addWidget(m_emailBox, 6, 1);

    FillKeyNames(m_locationBox, Database::TLocationConfig());
    FillKeyNames(m_emailBox, Database::TDeviceEmailConfig());

    // Every device row, also one whose serial does not pass the check: it
    // may still carry a config.
    m_devices.clear();
    for (const Database::TItemMap &row : Database::selectRows(Sql(), TDeviceState().selectAllSql())) {
        TDeviceState device;
        device.fromMap(row);
        if (device.id() >= 0)
            m_devices.append(device);
    }
}

void TDBDeviceConfigForm::LoadItem(const TEditorItem &item)
{
    if (m_selectAfterSave >= 0) {
        // The reloaded list names configs by DeviceName alone, so the saved
        // config is found by its key.
        const qint64 wanted = m_selectAfterSave;
        m_selectAfterSave = -1;
        const int index = RecordComboBox()->findData(QVariant(wanted));
        if (index >= 0 && index != RecordComboBox()->currentIndex()) {
            RecordComboBox()->setCurrentIndex(index); // loads that config
            return;
        }
    }
    TRecordEditorForm::LoadItem(item);
}

void TDBDeviceConfigForm::ShowConfig(const TDeviceConfig &config)
{
    m_serialBox->clear();
    if (IsNew()) {
        const QList<Database::TKeyName> &configured = KeyNames();
        for (const TDeviceState &device : qAsConst(m_devices)) {
            if (std::none_of(configured.cbegin(), configured.cend(),
                             [&device](const Database::TKeyName &pair) { return pair.first == device.id(); }))
                m_serialBox->addItem(device.name(), QVariant(device.id()));
        }
        m_serialBox->setEnabled(true);
        m_serialBox->setCurrentIndex(-1);
    } else {
        for (const TDeviceState &device : qAsConst(m_devices))
            m_serialBox->addItem(device.name(), QVariant(device.id()));
        m_serialBox->setEnabled(false);
        SelectByData(m_serialBox, QVariant(config.id()));
    }
    m_enabledBox->setChecked(!config.disabled());
    NameEdit()->setText(config.name());
    m_hostNameEdit->setText(config.hostName());
    SelectByData(m_locationBox, QVariant(config.locationId()));
    SelectByData(m_emailBox, QVariant(config.emailConfigId()));
}

QString TDBDeviceConfigForm::ConfigItemText(const TDeviceConfig &config) const
{
    const int serialIndex = m_serialBox ? m_serialBox->findData(QVariant(config.id())) : -1;
    QString text = serialIndex >= 0 ? m_serialBox->itemText(serialIndex) : tr("Unknown Serial");
    if (!config.name().isEmpty())
        text += QStringLiteral(" - ") + config.name();
    const int locationIndex = m_locationBox && config.locationId() >= 0
                                  ? m_locationBox->findData(QVariant(config.locationId()))
                                  : -1;
    if (locationIndex >= 0)
        text += tr(" - Location: ") + m_locationBox->itemText(locationIndex);
    return text;
}

QString TDBDeviceConfigForm::PrepareNewRecord(TDeviceConfig &config)
{
    const qint64 deviceId = CurrentId(m_serialBox);
    if (deviceId < 0)
        return tr("Please select an existing device serial number.");
    config.setId(deviceId);
    return QString();
}

void TDBDeviceConfigForm::CollectRecord(TDeviceConfig &config)
{
    config.setDisabled(!m_enabledBox->isChecked());
    config.setHostName(m_hostNameEdit->text());
    config.setLocationId(CurrentId(m_locationBox));
    config.setEmailConfigId(CurrentId(m_emailBox));
}

void TDBDeviceConfigForm::RecordSaved(const TDeviceConfig &config, TEditorItem &item)
{
    // Read the stored config back by its device's serial, a text literal.
    TDeviceConfig stored = config;
    const TORVSQLResult readBack =
        Sql()->selectFirst(config.selectByDeviceSql(sqlTextLiteral(m_serialBox->currentText())));
    if (readBack.ok && readBack.value)
        stored.fromMap(TORVSQLBase::recordToMap(readBack.record));
    item = TEditorItem(ConfigItemText(stored), QVariant(stored.id()));
    m_selectAfterSave = stored.id();
}

} // namespace Veltrix
