#pragma once

#include "tdeviceconfig.h"
#include "tdevicestate.h"
#include "teditorbaseform.h"

#include <QList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class TORVSQLBase;

namespace Veltrix {

namespace Database {
class TVXDatabase;
}

// Edits the configuration row of each device: its name, host name, whether it
// is enabled, its location and its e-mail configuration. A device has at most
// one configuration; a new one is offered only the devices without one.
class TDBDeviceConfigForm : public TEditorBaseForm
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
    TEditorItemList ListItems() override;
    void LoadItem(const TEditorItem &item) override;
    void NewItem() override;
    void DuplicateItem(const TEditorItem &item) override;
    QString SaveItem(TEditorItem &item) override;
    QString DeleteItem(const TEditorItem &item) override;
    QString Title() const override;

private:
    TORVSQLBase *Sql() const;
    // The stored config of `item`; false when it has no row.
    static void FillKeyNames(QComboBox *box, TORVSQLBase *sql, const Database::TItemBase &record);

    QComboBox *m_serialBox = nullptr;
    QLineEdit *m_nameEdit = nullptr;
    QCheckBox *m_enabledBox = nullptr;
    QComboBox *m_locationBox = nullptr;
    QComboBox *m_emailBox = nullptr;
    QLineEdit *m_hostNameEdit = nullptr;
    Database::TVXDatabase *m_database = nullptr;
    QList<Database::TDeviceState> m_devices;
    QList<qint64> m_configuredDevices;
    // The config to select once the list has been reloaded after a save.
    qint64 m_selectAfterSave = -1;
};

} // namespace Veltrix
