#pragma once

#include "tdevicestate.h"
#include "teditorbaseform.h"

#include <QList>

class QLineEdit;

namespace Veltrix {

namespace Database {
class TVXDatabase;
}

// Registers testers by their serial number and deletes them (with everything
// the database keeps for them). Stored devices are neither edited nor copied.
class TDBDeviceForm : public TEditorBaseForm
{
    Q_OBJECT
public:
    TDBDeviceForm(QWidget *parent, Database::TVXDatabase *database);
    ~TDBDeviceForm() override;

protected:
    void SetupDetails(QGridLayout *grid) override;
    TEditorItemList ListItems() override;
    void LoadItem(const TEditorItem &item) override;
    void NewItem() override;
    QString SaveItem(TEditorItem &item) override;
    QString DeleteItem(const TEditorItem &item) override;
    QString Title() const override;
    QString DeleteConfirmText() const override;
    bool CanDuplicate() const override;
    bool CanEdit() const override;

private:
    const Database::TDeviceState *FindDevice(const QVariant &data) const;

    QLineEdit *m_serialEdit = nullptr;
    Database::TVXDatabase *m_database = nullptr;
    QList<Database::TDeviceState> m_devices;
};

} // namespace Veltrix
