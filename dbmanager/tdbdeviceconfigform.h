#pragma once

#include "tdeviceconfig.h"
#include "tdevicestate.h"
#include "trecordeditorform.h"

#include <QList>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace Veltrix {

// Edits the configuration row of each device: its name, host name, whether it
// is enabled, its location and its e-mail configuration. A device has at most
// one configuration; a new one is offered only the devices without one.
class TDBDeviceConfigForm : public TRecordEditorForm<Database::TDeviceConfig>
{
    Q_OBJECT
public:
    TDBDeviceConfigForm(QWidget *parent, Database::TVXDatabase *database);
    ~TDBDeviceConfigForm() override;

    // "<serial>[ - <name>][ - Location: <location>]", with "Unknown Serial"
    // when the serial box holds no item for the config's device.
    QString ConfigItemText(const Database::TDeviceConfig &config) const;
    // Fills the fields from `config`.
    void ShowConfig(const Database::TDeviceConfig &config);

protected:
    void SetupDetails(QGridLayout *grid) override;
    void LoadItem(const TEditorItem &item) override;
    QString Title() const override;
    void ShowRecord(const Database::TDeviceConfig &config) override { ShowConfig(config); }
    void CollectRecord(Database::TDeviceConfig &config) override;
    QString EmptyNameText() const override;
    // A new config takes the key of the device chosen for it.
    QString PrepareNewRecord(Database::TDeviceConfig &config) override;
    bool StoresKey() const override;
    // Names the stored config by ConfigItemText() and selects it once the
    // list has been reloaded.
    void RecordSaved(const Database::TDeviceConfig &config, TEditorItem &item) override;

private:
    QComboBox *m_serialBox = nullptr;
    QCheckBox *m_enabledBox = nullptr;
    QComboBox *m_locationBox = nullptr;
    QComboBox *m_emailBox = nullptr;
    QLineEdit *m_hostNameEdit = nullptr;
    QList<Database::TDeviceState> m_devices;
    // The config to select once the list has been reloaded after a save.
    qint64 m_selectAfterSave = -1;
};

} // namespace Veltrix
