#pragma once

#include "teditorbaseform.h"
#include "torvsqlsettings.h"

#include <QPointer>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace Veltrix {

// Edits a list of database connections in memory; the caller stores the list
// when the editor closes. The list is kept sorted by name.
class TDBConnectionForm : public TEditorBaseForm
{
    Q_OBJECT
public:
    TDBConnectionForm(QWidget *parent, TORVSQLSettingsList *list, const QString &defaultDirectory);
    ~TDBConnectionForm() override;

    // The connection the server uses: added to the list when no entry has its
    // name, and selected when the editor opens.
    void SetApplicationConnection(const TORVSQLSettings &settings);
    TORVSQLSettings ApplicationConnection() const { return m_applicationConnection; }

protected:
    void SetupDetails(QGridLayout *grid) override;
    TEditorItemList ListItems() override;
    void LoadItem(const TEditorItem &item) override;
    void NewItem() override;
    void DuplicateItem(const TEditorItem &item) override;
    QString SaveItem(TEditorItem &item) override;
    QString DeleteItem(const TEditorItem &item) override;
    QString Title() const override;
    TEditorItem InitialItem() override;

private slots:
    void onTypeChanged(int index);
    void onClickedSelect();

private:
    void ShowSettings(const TORVSQLSettings &settings);
    TORVSQLSettings CollectSettings() const;
    bool IsInList(const QVariant &data, int *index) const;

    QPointer<QLineEdit> m_nameEdit;
    QPointer<QComboBox> m_typeComboBox;
    QPointer<QLabel> m_databaseLabel;
    QPointer<QLineEdit> m_databaseEdit;
    QPointer<QPushButton> m_selectButton;
    QPointer<QLineEdit> m_addressEdit;
    QPointer<QSpinBox> m_portSpinBox;
    QPointer<QLineEdit> m_userEdit;
    QPointer<QLineEdit> m_passwordEdit;
    TORVSQLSettingsList *m_list = nullptr;
    QString m_defaultDirectory;
    TORVSQLSettings m_applicationConnection;
};

} // namespace Veltrix
