#pragma once

#include "torvsqlsettings.h"

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QString>

#include <memory>

class QComboBox;
class QFrame;
class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace Veltrix {

class TVXSettingsBase;

namespace Database {

class TVXDatabase;

// The database manager: chooses the connection the server uses, tests
// connections, shows whether the schema fits this software, upgrades it and
// opens the record editors. Every attempt to open a database runs on a worker
// thread while the dialog stays responsive and animates a status label; the
// copy and the upgrade run on one too, behind a window naming their stage.
class TDBManagerForm : public QDialog
{
    Q_OBJECT
public:
    TDBManagerForm(QWidget *parent, TVXSettingsBase *settings);
    ~TDBManagerForm() override;

    void SetBanner(const QPixmap &banner);
    // Builds and runs the dialog.
    int exec() override;

    // True once "Use Selected" has stored a new server connection.
    bool connectionChanged() const { return m_connectionChanged; }

    // Opens `settings` on `database` on a worker thread; the label (may be
    // null) shows the progress and the outcome. The connection belongs to the
    // calling thread when this returns.
    static bool ConnectToDatabase(TORVSQLSettings settings, TVXDatabase *database, QLabel *label);
    // Re-checks (and reopens once) the current connection on a worker thread.
    bool MakeSureConnectionIsOpen();

protected:
    // Whether a database with its restriction flag set may still be managed.
    virtual bool AllowRestrictedDatabase() const;
    // A new database object on default connection settings, not connected.
    virtual std::unique_ptr<TVXDatabase> CreateDatabase() const;
    // Whether the "Manage Email Configs" button exists.
    virtual bool HasEmailConfigs() const;

private slots:
    void onCurrentIndexChanged(int index);
    void onClickedManageConnections();
    void onClickedUseSelected();
    void onClickedUpgrade();
    void onClickedManageDevices();
    void onClickedManageDeviceConfigs();
    void onClickedManageLocationConfigs();
    void onClickedManageEmailConfigs();

private:
    enum class EditorKind
    {
        Devices,
        DeviceConfigs,
        LocationConfigs,
        EmailConfigs
    };

    void SetupUi();
    // Refills the combo box from the settings' list and selects
    // `preferredText` (or the first entry); the selected entry is connected to.
    void LoadConnectionList(const QString &preferredText);
    void UpdateDatabaseState();
    bool UpgradeDatabase();
    // Re-checks the connection, then runs the record editor of `kind`.
    void OpenRecordEditor(EditorKind kind);
    // Creates and runs the record editor of `kind` modally on the database
    // object (defined with the record editors).
    void OpenEditor(EditorKind kind);
    // Writes the settings to disk; warns naming the file when that failed.
    bool SaveSettings();
    QString ServerDatabaseName() const;

    QPointer<QVBoxLayout> m_innerLayout;
    QPointer<QGridLayout> m_grid;
    QPointer<QFrame> m_editorButtonFrame;
    QPointer<QComboBox> m_connectionComboBox;
    QPointer<QLabel> m_bannerLabel;
    QPointer<QLabel> m_applicationConnectionLabel;
    QPointer<QLabel> m_connectionStatusLabel;
    QPointer<QLabel> m_databaseStateLabel;
    QPointer<QPushButton> m_upgradeButton;
    QPointer<QPushButton> m_useSelectedButton;
    TVXSettingsBase *m_settings = nullptr;
    bool m_connectionChanged = false;
    std::unique_ptr<TVXDatabase> m_database;
    QPixmap m_banner;
};

// The server's variant: restricted databases may be managed, the database
// object is a TVXSDatabase and e-mail configs can be edited.
class TVXSDBManagerForm : public TDBManagerForm
{
    Q_OBJECT
public:
    using TDBManagerForm::TDBManagerForm;
    ~TVXSDBManagerForm() override;

protected:
    bool AllowRestrictedDatabase() const override;
    std::unique_ptr<TVXDatabase> CreateDatabase() const override;
    bool HasEmailConfigs() const override;
};

} // namespace Database
} // namespace Veltrix
