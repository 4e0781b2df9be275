#include "tdbdeviceform.h"

#include "recordaccess.h"
#include "tvxdatabase.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace Veltrix {

using Database::TDeviceState;

TDBDeviceForm::TDBDeviceForm(QWidget *parent, Database::TVXDatabase *database)
    : TEditorBaseForm(parent), m_database(database)
{}

TDBDeviceForm::~TDBDeviceForm() = default;

QString TDBDeviceForm::Title() const
{
    return tr("DB Device");
}

QString TDBDeviceForm::DeleteConfirmText() const
{
    return tr("Deleting a device will remove all associated database items, including log records.\n\n"
              "Confirm Deletion?");
}

bool TDBDeviceForm::CanDuplicate() const
{
    return false;
}

bool TDBDeviceForm::CanEdit() const
{
    return false;
}

void TDBDeviceForm::SetupDetails(QGridLayout *grid)
{
    m_serialEdit = new QLineEdit(this);
    m_serialEdit->setObjectName(QStringLiteral("leSerial"));
    grid->addWidget(new QLabel(tr("Serial"), this), 0, 0);
    grid->addWidget(m_serialEdit, 0, 1);
}

TEditorItemList TDBDeviceForm::ListItems()
{
    m_devices.clear();
    TEditorItemList items;
    TORVSQLBase *sql = m_database ? m_database->Sql() : nullptr;
    const QList<Database::TItemMap> rows = Database::selectRows(sql, TDeviceState().selectAllSql());
    for (const Database::TItemMap &row : rows) {
        TDeviceState device;
        if (!device.fromMap(row))
            continue;
        m_devices.append(device);
        items.append(TEditorItem(device.name(), QVariant(device.id())));
    }
    return items;
}

const TDeviceState *TDBDeviceForm::FindDevice(const QVariant &data) const
{
    if (!data.isValid())
        return nullptr;
    const qint64 id = data.toLongLong();
    for (const TDeviceState &device : m_devices) {
        if (device.id() == id)
            return &device;
    }
    return nullptr;
}

void TDBDeviceForm::LoadItem(const TEditorItem &item)
{
    if (const TDeviceState *device = FindDevice(item.data))
        m_serialEdit->setText(device->name());
}

void TDBDeviceForm::NewItem()
{
    m_serialEdit->setText(QStringLiteral("00000000"));
}

QString TDBDeviceForm::SaveItem(TEditorItem &)
{
    if (!IsNew())
        return QString();
    const TDeviceState device(m_serialEdit->text(), QDateTime::currentDateTime(), 6);
    if (!device.isValid())
        return tr("Serial number must be 8 digits long, numbers only");
    return Database::saveInTransaction(m_database ? m_database->Sql() : nullptr, device, false);
}

QString TDBDeviceForm::DeleteItem(const TEditorItem &item)
{
    const TDeviceState *device = FindDevice(item.data);
    if (!device)
        return QString();
    return Database::deleteInTransaction(m_database ? m_database->Sql() : nullptr, device->tableName(),
                                         device->idColumn(), device->id());
}

} // namespace Veltrix
