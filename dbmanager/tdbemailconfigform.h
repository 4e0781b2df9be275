#pragma once

#include "recordaccess.h"
#include "tdeviceemailconfig.h"
#include "teditorbaseform.h"

#include <QList>

class QDoubleSpinBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace Veltrix {

namespace Database {
class TVXDatabase;
}

// Edits e-mail configurations: a name, the e-mail and SMS addresses that
// receive results, subject, message and the result limit above which results
// are reported (shown with the decimals of the server's units of measure).
class TDBEmailConfigForm : public TEditorBaseForm
{
    Q_OBJECT
public:
    TDBEmailConfigForm(QWidget *parent, Database::TVXDatabase *database, int unitsOfMeasure);
    ~TDBEmailConfigForm() override;

    // Fills the fields from `config`.
    void ShowEmailConfig(const Database::TDeviceEmailConfig &config);

    // Decimals of the result limit for a units-of-measure index (0 for an unknown one).
    static int ResultLimitDecimals(int unitsOfMeasure);

public slots:
    void onClickedAddAddress();
    void onClickedRemoveAddress();
    void onClickedAddSMSAddress();
    void onClickedRemoveSMSAddress();

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
    // Appends the input's address to `list` when it is valid, else warns with `invalidText`.
    void AddAddress(QLineEdit *input, QListWidget *list, const QString &invalidText);
    static void RemoveSelected(QListWidget *list);
    static QStringList Entries(const QListWidget *list);

    QLineEdit *m_nameEdit = nullptr;
    QListWidget *m_toList = nullptr;
    QLineEdit *m_toInput = nullptr;
    QPushButton *m_addToButton = nullptr;
    QPushButton *m_removeToButton = nullptr;
    QListWidget *m_smsList = nullptr;
    QLineEdit *m_smsInput = nullptr;
    QPushButton *m_addSmsButton = nullptr;
    QPushButton *m_removeSmsButton = nullptr;
    QLineEdit *m_subjectEdit = nullptr;
    QLineEdit *m_messageEdit = nullptr;
    QDoubleSpinBox *m_resultLimit = nullptr;
    Database::TVXDatabase *m_database = nullptr;
    QList<Database::TKeyName> m_emailConfigs;
    int m_unitsOfMeasure = 0;
};

} // namespace Veltrix
