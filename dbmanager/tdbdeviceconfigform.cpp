#include "tdbdeviceconfigform.h"

#include "recordaccess.h"
#include "tdeviceemailconfig.h"
#include "tlocationconfig.h"
#include "torvsqldialects.h"
#include "tvxdatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace Veltrix {

using Database::TDeviceConfig;
using Database::TDeviceState;

TDBDeviceConfigForm::TDBDeviceConfigForm(QWidget *parent, Database::TVXDatabase *database)
    : TEditorBaseForm(parent), m_database(database)
{}

TDBDeviceConfigForm::~TDBDeviceConfigForm() = default;

QString TDBDeviceConfigForm::Title() const
{
    return tr("DB Device Config");
}

TORVSQLBase *TDBDeviceConfigForm::Sql() const
{
    return m_database ? m_database->Sql() : nullptr;
}

void TDBDeviceConfigForm::FillKeyNames(QComboBox *box, TORVSQLBase *sql, const Database::TItemBase &record)
{
    box->clear();
    box->addItem(tr("None"));
    for (const Database::TKeyName &pair : Database::selectKeyNames(sql, record))
        box->addItem(pair.second, QVariant(pair.first));
}

void TDBDeviceConfigForm::SetupDetails(QGridLayout *grid)
{
    m_serialBox = new QComboBox(this);
    m_serialBox->setObjectName(QStringLiteral("cbSerial"));
    m_enabledBox = new QCheckBox(this);
    m_enabledBox->setObjectName(QStringLiteral("cbEnabled"));
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("leName"));
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
    grid->addWidget(m_nameEdit, 2, 1);
    grid->addWidget(new QLabel(tr("Hostname"), this), 3, 0);
    grid->addWidget(m_hostNameEdit, 3, 1);
    grid->addWidget(new QLabel(tr("Location"), this), 4, 0);
    grid->addWidget(m_locationBox, 4, 1);
    grid->addWidget(overrideNote, 5, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Email"), this), 6, 0);
    grid->addWidget(m_emailBox, 6, 1);

    TORVSQLBase *sql = Sql();
    FillKeyNames(m_locationBox, sql, Database::TLocationConfig());
    FillKeyNames(m_emailBox, sql, Database::TDeviceEmailConfig());

    // Every device row, also one whose serial does not pass the check: it
    // may still carry a config.
    m_devices.clear();
    for (const Database::TItemMap &row : Database::selectRows(sql, TDeviceState().selectAllSql())) {
        TDeviceState device;
        device.fromMap(row);
        if (device.id() >= 0)
            m_devices.append(device);
    }
}

TEditorItemList TDBDeviceConfigForm::ListItems()
{
    TEditorItemList items;
    m_configuredDevices.clear();
    for (const Database::TKeyName &pair : Database::selectKeyNames(Sql(), TDeviceConfig())) {
        m_configuredDevices.append(pair.first);
        items.append(TEditorItem(pair.second, QVariant(pair.first)));
    }
    return items;
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
    ShowConfig(Database::recordByIdOrDefault<TDeviceConfig>(Sql(), item.key()));
}

void TDBDeviceConfigForm::NewItem()
{
    ShowConfig(TDeviceConfig());
}

void TDBDeviceConfigForm::DuplicateItem(const TEditorItem &item)
{
    TDeviceConfig config = Database::recordByIdOrDefault<TDeviceConfig>(Sql(), item.key());
    config.setName(config.name() + QStringLiteral("_Copy"));
    ShowConfig(config);
}

void TDBDeviceConfigForm::ShowConfig(const TDeviceConfig &config)
{
    m_serialBox->clear();
    if (IsNew()) {
        for (const TDeviceState &device : qAsConst(m_devices)) {
            if (!m_configuredDevices.contains(device.id()))
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
    m_nameEdit->setText(config.name());
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

QString TDBDeviceConfigForm::SaveItem(TEditorItem &item)
{
    TDeviceConfig config;
    if (IsNew()) {
        const qint64 deviceId = CurrentId(m_serialBox);
        if (deviceId < 0)
            return tr("Please select an existing device serial number.");
        config.setId(deviceId);
    } else if (!Database::selectRecordById(Sql(), item.key(), config)) {
        return tr("Unable to find this config.");
    }
    if (m_nameEdit->text().isEmpty())
        return tr("Device name cannot be empty");

    config.setDisabled(!m_enabledBox->isChecked());
    config.setName(m_nameEdit->text());
    config.setHostName(m_hostNameEdit->text());
    config.setLocationId(CurrentId(m_locationBox));
    config.setEmailConfigId(CurrentId(m_emailBox));

    const QString error = Database::saveInTransaction(Sql(), config, true);
    if (!error.isEmpty())
        return error;

    // Read the stored config back by its device's serial, a text literal.
    TDeviceConfig stored = config;
    const TORVSQLResult readBack =
        Sql()->selectFirst(config.selectByDeviceSql(sqlTextLiteral(m_serialBox->currentText())));
    if (readBack.ok && readBack.value)
        stored.fromMap(TORVSQLBase::recordToMap(readBack.record));
    item = TEditorItem(ConfigItemText(stored), QVariant(stored.id()));
    m_selectAfterSave = stored.id();
    return QString();
}

QString TDBDeviceConfigForm::DeleteItem(const TEditorItem &item)
{
    const qint64 key = item.key();
    if (key < 0)
        return QString();
    return Database::deleteInTransaction(Sql(), TDeviceConfig().tableName(), TDeviceConfig().idColumn(), key);
}

} // namespace Veltrix
