#pragma once

#include "tdeviceemailconfig.h"
#include "trecordeditorform.h"

class QDoubleSpinBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace Veltrix {

// Edits e-mail configurations: a name, the e-mail and SMS addresses that
// receive results, subject, message and the result limit above which results
// are reported (shown with the decimals of the server's units of measure).
class TDBEmailConfigForm : public TRecordEditorForm<Database::TDeviceEmailConfig>
{
    Q_OBJECT
public:
    TDBEmailConfigForm(QWidget *parent, Database::TVXDatabase *database, int unitsOfMeasure);
    ~TDBEmailConfigForm() override;

    // Fills the fields from `config`.
    void ShowEmailConfig(const Database::TDeviceEmailConfig &config);

public slots:
    void onClickedAddAddress();
    void onClickedRemoveAddress();
    void onClickedAddSMSAddress();
    void onClickedRemoveSMSAddress();

protected:
    void SetupDetails(QGridLayout *grid) override;
    QString Title() const override;
    void ShowRecord(const Database::TDeviceEmailConfig &config) override { ShowEmailConfig(config); }
    void CollectRecord(Database::TDeviceEmailConfig &config) override;
    QString EmptyNameText() const override;
    QString DuplicateNameText() const override;
    // Counts the device configs that go with the record.
    QString DeleteConfirmText() const override;

private:
    // Appends the input's address to `list` when it is valid, else warns with `invalidText`.
    void AddAddress(QLineEdit *input, QListWidget *list, const QString &invalidText);
    static void RemoveSelected(QListWidget *list);
    static QStringList Entries(const QListWidget *list);

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
    int m_unitsOfMeasure = 0;
};

} // namespace Veltrix
