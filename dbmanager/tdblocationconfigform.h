#pragma once

#include "tlocationconfig.h"
#include "trecordeditorform.h"

#include <QStringList>

class QComboBox;

namespace Veltrix {

// Edits sites: a name, the e-mail configuration for the site's devices and
// the site's time zone, chosen from the zones handed in by the caller.
class TDBLocationConfigForm : public TRecordEditorForm<Database::TLocationConfig>
{
    Q_OBJECT
public:
    TDBLocationConfigForm(QWidget *parent, Database::TVXDatabase *database, const QStringList &timeZones);
    ~TDBLocationConfigForm() override;

    // Fills the fields from `location`; a location without a zone shows the
    // machine's zone.
    void ShowLocation(const Database::TLocationConfig &location);

protected:
    void SetupDetails(QGridLayout *grid) override;
    QString Title() const override;
    void ShowRecord(const Database::TLocationConfig &location) override { ShowLocation(location); }
    void CollectRecord(Database::TLocationConfig &location) override;
    QString EmptyNameText() const override;
    QString DuplicateNameText() const override;
    // Counts the device configs that go with the record.
    QString DeleteConfirmText() const override;

private:
    QComboBox *m_emailBox = nullptr;
    QComboBox *m_timeZoneBox = nullptr;
    QStringList m_timeZones;
};

} // namespace Veltrix
