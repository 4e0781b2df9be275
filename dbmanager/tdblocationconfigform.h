#pragma once

#include "recordaccess.h"
#include "teditorbaseform.h"
#include "tlocationconfig.h"

#include <QList>
#include <QStringList>

class QComboBox;
class QLineEdit;

namespace Veltrix {

namespace Database {
class TVXDatabase;
}

// Edits sites: a name, the e-mail configuration for the site's devices and
// the site's time zone, chosen from the zones handed in by the caller.
class TDBLocationConfigForm : public TEditorBaseForm
{
    Q_OBJECT
public:
    TDBLocationConfigForm(QWidget *parent, Database::TVXDatabase *database, const QStringList &timeZones);
    ~TDBLocationConfigForm() override;

    // Fills the fields from `location`; a location without a valid zone
    // shows the machine's zone.
    void ShowLocation(const Database::TLocationConfig &location);

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

    QLineEdit *m_nameEdit = nullptr;
    QComboBox *m_emailBox = nullptr;
    QComboBox *m_timeZoneBox = nullptr;
    Database::TVXDatabase *m_database = nullptr;
    QList<Database::TKeyName> m_locations;
    QStringList m_timeZones;
};

} // namespace Veltrix
