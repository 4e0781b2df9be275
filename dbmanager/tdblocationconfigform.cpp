#include "tdblocationconfigform.h"

#include "tdeviceemailconfig.h"
#include "tvxdatabase.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimeZone>

namespace Veltrix {

using Database::TLocationConfig;

TDBLocationConfigForm::TDBLocationConfigForm(QWidget *parent, Database::TVXDatabase *database,
                                             const QStringList &timeZones)
    : TEditorBaseForm(parent), m_database(database), m_timeZones(timeZones)
{}

TDBLocationConfigForm::~TDBLocationConfigForm() = default;

QString TDBLocationConfigForm::Title() const
{
    return tr("DB Location Config");
}

TORVSQLBase *TDBLocationConfigForm::Sql() const
{
    return m_database ? m_database->Sql() : nullptr;
}

void TDBLocationConfigForm::SetupDetails(QGridLayout *grid)
{
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("leName"));
    m_emailBox = new QComboBox(this);
    m_emailBox->setObjectName(QStringLiteral("cbEmail"));
    m_timeZoneBox = new QComboBox(this);
    m_timeZoneBox->setObjectName(QStringLiteral("cbTimezone"));

    grid->addWidget(new QLabel(tr("Name"), this), 0, 0);
    grid->addWidget(m_nameEdit, 0, 1);
    grid->addWidget(new QLabel(tr("Email"), this), 1, 0);
    grid->addWidget(m_emailBox, 1, 1);
    grid->addWidget(new QLabel(tr("Timezone"), this), 2, 0);
    grid->addWidget(m_timeZoneBox, 2, 1);

    m_emailBox->addItem(tr("None"));
    for (const Database::TKeyName &pair : Database::selectKeyNames(Sql(), Database::TDeviceEmailConfig()))
        m_emailBox->addItem(pair.second, QVariant(pair.first));
    m_timeZoneBox->addItems(m_timeZones);
}

TEditorItemList TDBLocationConfigForm::ListItems()
{
    m_locations = Database::selectKeyNames(Sql(), TLocationConfig());
    TEditorItemList items;
    for (const Database::TKeyName &pair : qAsConst(m_locations))
        items.append(TEditorItem(pair.second, QVariant(pair.first)));
    return items;
}

void TDBLocationConfigForm::LoadItem(const TEditorItem &item)
{
    ShowLocation(Database::recordByIdOrDefault<TLocationConfig>(Sql(), item.key()));
}

void TDBLocationConfigForm::NewItem()
{
    ShowLocation(TLocationConfig());
}

void TDBLocationConfigForm::DuplicateItem(const TEditorItem &item)
{
    TLocationConfig location = Database::recordByIdOrDefault<TLocationConfig>(Sql(), item.key());
    location.setName(location.name() + QStringLiteral("_Copy"));
    ShowLocation(location);
}

void TDBLocationConfigForm::ShowLocation(const TLocationConfig &location)
{
    m_nameEdit->setText(location.name());
    SelectByData(m_emailBox, QVariant(location.emailConfigId()));
    const QTimeZone zone = location.timeZone().isValid() ? location.timeZone() : QTimeZone::systemTimeZone();
    // A zone the list does not hold leaves the previous choice.
    m_timeZoneBox->setCurrentText(QString::fromUtf8(zone.id()));
}

QString TDBLocationConfigForm::SaveItem(TEditorItem &item)
{
    TLocationConfig location;
    if (IsNew()) {
        for (const Database::TKeyName &pair : qAsConst(m_locations)) {
            if (pair.second == m_nameEdit->text())
                return tr("A location with this name already exists");
        }
    } else if (!Database::selectRecordById(Sql(), item.key(), location)) {
        return tr("Unable to find this config.");
    }
    if (m_nameEdit->text().isEmpty())
        return tr("Location name cannot be empty");

    location.setName(m_nameEdit->text());
    location.setEmailConfigId(CurrentId(m_emailBox));
    const QByteArray zoneId = m_timeZoneBox->currentText().toUtf8();
    location.setTimeZone(zoneId.isEmpty() ? QTimeZone() : QTimeZone(zoneId));

    return Database::saveInTransaction(Sql(), location, false);
}

QString TDBLocationConfigForm::DeleteItem(const TEditorItem &item)
{
    const qint64 key = item.key();
    if (key < 0)
        return QString();
    return Database::deleteInTransaction(Sql(), TLocationConfig().tableName(), TLocationConfig().idColumn(),
                                         key);
}

} // namespace Veltrix
