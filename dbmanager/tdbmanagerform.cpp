#include "tdbmanagerform.h"

#include "tdbconnectionform.h"
#include "tvxdatabase.h"
#include "tvxsettingsbase.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <functional>

namespace Veltrix {
namespace Database {

namespace {

constexpr Qt::WindowFlags dialogFlags =
    Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// The status label moves on by one dot per tick while a worker runs.
constexpr qint64 animationTickMs = 333;
// After this many dots the animation starts again from the bare text.
constexpr int maximumDots = 11;

// Moves the Qt connection of `database` to `thread`.
void handOverConnection(TVXDatabase *database, QThread *thread)
{
    if (TORVSQLBase *sql = database->Sql())
        sql->moveConnectionToThread(thread);
}

// Runs `work` on a worker thread that is started and joined within this call.
// Meanwhile the calling thread stays in its event loop, waking only when the
// worker is done or the next animation tick of `label` (which may be null) is
// due. The worker publishes its result before the completion flag (release
// store, acquire load) and hands the database connection over to the calling
// thread before it finishes, so the caller may use the connection afterwards.
TORVSQLResult runOnWorker(TVXDatabase *database, const std::function<TORVSQLResult()> &work, QLabel *label,
                          const QString &stem)
{
    QPointer<QLabel> statusLabel(label);
    QThread *const callerThread = QThread::currentThread();
    TORVSQLResult result;
    std::atomic<bool> done{false};
    QEventLoop loop;

    std::unique_ptr<QThread> worker(QThread::create([&]() {
        TORVSQLResult outcome = work();
        handOverConnection(database, callerThread);
        result = outcome;
        done.store(true, std::memory_order_release);
        QMetaObject::invokeMethod(
            &loop, [&loop]() { loop.quit(); }, Qt::QueuedConnection);
    }));
    // The worker may use (and replace) the current connection: it belongs to
    // the worker until the worker hands it back.
    handOverConnection(database, worker.get());

    if (statusLabel)
        statusLabel->setText(stem);
    worker->start();

    QTimer tick;
    tick.setSingleShot(true);
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    QElapsedTimer elapsed;
    elapsed.start();
    QString dots;
    while (!done.load(std::memory_order_acquire)) {
        const qint64 untilTick = animationTickMs - elapsed.elapsed();
        if (untilTick < 0) {
            elapsed.restart();
            if (dots.size() < maximumDots)
                dots += QLatin1Char('.');
            else
                dots.clear();
            if (statusLabel)
                statusLabel->setText(stem + dots);
            continue;
        }
        tick.start(static_cast<int>(untilTick) + 1);
        // -1: the application is quitting and no event loop runs any more;
        // the worker is then waited for below.
        if (loop.exec() < 0)
            break;
    }
    tick.stop();
    worker->wait();
    return result;
}

// Disables a dialog while a worker runs and gives the keyboard focus back to
// where it was afterwards (disabling the window takes it away).
class DisabledWhileBusy
{
public:
    explicit DisabledWhileBusy(QWidget *dialog) : m_dialog(dialog), m_focus(dialog->focusWidget())
    {
        m_dialog->setEnabled(false);
    }
    ~DisabledWhileBusy()
    {
        if (!m_dialog)
            return;
        m_dialog->setEnabled(true);
        if (m_focus && m_focus->isEnabled())
            m_focus->setFocus();
    }
    DisabledWhileBusy(const DisabledWhileBusy &) = delete;
    DisabledWhileBusy &operator=(const DisabledWhileBusy &) = delete;

private:
    QPointer<QWidget> m_dialog;
    QPointer<QWidget> m_focus;
};

// The window an upgrade runs behind: modal, naming the stage under way, with
// nothing to cancel it and no way to close it; it goes once the upgrade has
// finished.
class TUpgradeProgressDialog : public QProgressDialog
{
public:
    explicit TUpgradeProgressDialog(QWidget *parent)
        : QProgressDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    {
        setWindowModality(Qt::ApplicationModal);
        setCancelButton(nullptr);
        setAutoClose(false);
        setAutoReset(false);
        setMinimumDuration(0);
        setRange(0, 0); // busy: the stage text says how far it is
    }

    void showStage(const TVXUpgradeProgress &progress)
    {
        const QString text = upgradeStageText(progress);
        setLabelText(progress.stage == TVXUpgradeProgress::Stage::Copied
                         ? text
                         : TDBManagerForm::tr("%1 ...").arg(text));
    }

protected:
    void closeEvent(QCloseEvent *event) override { event->ignore(); }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() != Qt::Key_Escape)
            QProgressDialog::keyPressEvent(event);
    }
};

} // namespace

TDBManagerForm::TDBManagerForm(QWidget *parent, TVXSettingsBase *settings)
    : QDialog(parent, dialogFlags), m_settings(settings)
{}

TDBManagerForm::~TDBManagerForm() = default;

void TDBManagerForm::SetBanner(const QPixmap &banner)
{
    m_banner = banner;
}

int TDBManagerForm::exec()
{
    m_database = CreateDatabase();
    SetupUi();
    setWindowTitle(tr("Database Manager"));

    if (!m_banner.isNull() && m_bannerLabel) {
        m_bannerLabel->setPixmap(m_banner);
        m_bannerLabel->show();
    }

    if (QWidget *parent = parentWidget()) {
        resize(parent->width() / 3, height());
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), parent->geometry()));
    }

    // Opens on the server's connection (or the first one): one connection attempt.
    LoadConnectionList(ServerDatabaseName());
    UpdateDatabaseState();
    return QDialog::exec();
}

bool TDBManagerForm::AllowRestrictedDatabase() const
{
    return false;
}

std::unique_ptr<TVXDatabase> TDBManagerForm::CreateDatabase() const
{
    return std::make_unique<TVXDatabase>(TORVSQLSettings());
}

bool TDBManagerForm::HasEmailConfigs() const
{
    return false;
}

bool TDBManagerForm::ConnectToDatabase(TORVSQLSettings settings, TVXDatabase *database, QLabel *label)
{
    if (!database)
        return false;
    QPointer<QLabel> statusLabel(label);
    const TORVSQLResult result = runOnWorker(
        database, [database, settings]() { return database->Connect(settings); }, label, tr("Connecting"));
    if (statusLabel) {
        if (result.ok)
            statusLabel->setText(tr("Connected to: ") + settings.displayName());
        else
            statusLabel->setText(tr("Unable to connect to: ") + settings.displayName() +
                                 QStringLiteral(" - ") + result.error);
    }
    return result.ok;
}

bool TDBManagerForm::MakeSureConnectionIsOpen()
{
    if (!m_database)
        return false;
    const QString remembered = m_connectionStatusLabel ? m_connectionStatusLabel->text() : QString();
    const TORVSQLResult result = [this]() {
        const DisabledWhileBusy busy(this);
        TVXDatabase *database = m_database.get();
        return runOnWorker(
            database, [database]() { return database->EnsureConnection(); }, m_connectionStatusLabel,
            tr("Checking Connection"));
    }();
    TVXDatabase *database = m_database.get();

    if (m_connectionStatusLabel) {
        if (result.ok) {
            m_connectionStatusLabel->setText(remembered);
        } else {
            const QString name = database->Sql() ? database->Sql()->settings().displayName() : QString();
            m_connectionStatusLabel->setText(tr("Lost connection to: ") + name + QStringLiteral(" - ") +
                                             result.error);
        }
    }
    return result.ok;
}

void TDBManagerForm::SetupUi()
{
    if (m_grid)
        return; // built by an earlier run

    setModal(true);
    // Wide enough for the version line on one line.
    setMinimumWidth(560);
    auto *topLayout = new QVBoxLayout(this);
    topLayout->setContentsMargins(0, 0, 0, 0);

    m_bannerLabel = new QLabel(QStringLiteral("blah"), this);
    m_bannerLabel->setObjectName(QStringLiteral("lBanner"));
    m_bannerLabel->hide();
    topLayout->addWidget(m_bannerLabel);

    m_innerLayout = new QVBoxLayout();
    m_innerLayout->setContentsMargins(10, 10, 10, 10);
    topLayout->addLayout(m_innerLayout);

    m_grid = new QGridLayout();
    m_grid->setColumnStretch(0, 2);
    m_innerLayout->addLayout(m_grid);

    m_editorButtonFrame = new QFrame(this);
    m_editorButtonFrame->setObjectName(QStringLiteral("fEditorButtons"));
    auto *frameLayout = new QVBoxLayout(m_editorButtonFrame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    m_innerLayout->addWidget(m_editorButtonFrame);

    auto addItem = [this](QWidget *widget) { m_grid->addWidget(widget, m_grid->rowCount(), 0); };
    auto addButton = [this](const QString &text, const QString &objectName) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(objectName);
        // No button is this dialog's default action: Enter does not upgrade.
        button->setAutoDefault(false);
        m_grid->addWidget(button, m_grid->rowCount() - 1, 1);
        return button;
    };

    m_connectionComboBox = new QComboBox(this);
    m_connectionComboBox->setObjectName(QStringLiteral("cbConnections"));
    addItem(m_connectionComboBox);
    QPushButton *manageConnections =
        addButton(tr("Manage Connections"), QStringLiteral("pbManageConnections"));

    m_applicationConnectionLabel = new QLabel(this);
    m_applicationConnectionLabel->setObjectName(QStringLiteral("lApplicationConnection"));
    m_applicationConnectionLabel->setText(tr("Application Connection: ") + ServerDatabaseName());
    addItem(m_applicationConnectionLabel);
    m_useSelectedButton = addButton(tr("Use Selected"), QStringLiteral("pbUseSelected"));
    m_useSelectedButton->setEnabled(false);

    m_connectionStatusLabel = new QLabel(this);
    m_connectionStatusLabel->setObjectName(QStringLiteral("lConnectionStatus"));
    m_connectionStatusLabel->setWordWrap(true);
    addItem(m_connectionStatusLabel);

    m_databaseStateLabel = new QLabel(this);
    m_databaseStateLabel->setObjectName(QStringLiteral("lDatabaseState"));
    m_databaseStateLabel->setWordWrap(true);
    addItem(m_databaseStateLabel);
    m_upgradeButton = addButton(tr("Upgrade"), QStringLiteral("pbUpgrade"));
    m_upgradeButton->hide();

    auto addEditorButton = [this, frameLayout](const QString &text, const QString &objectName) {
        auto *button = new QPushButton(text, m_editorButtonFrame);
        button->setObjectName(objectName);
        button->setAutoDefault(false);
        frameLayout->addWidget(button);
        return button;
    };
    QPushButton *devices = addEditorButton(tr("Manage Devices"), QStringLiteral("pbManageDevices"));
    QPushButton *deviceConfigs =
        addEditorButton(tr("Manage Device Configs"), QStringLiteral("pbManageDeviceConfigs"));
    QPushButton *locationConfigs =
        addEditorButton(tr("Manage Location Configs"), QStringLiteral("pbManageLocationConfigs"));
    if (HasEmailConfigs()) {
        QPushButton *emailConfigs =
            addEditorButton(tr("Manage Email Configs"), QStringLiteral("pbManageEmailConfigs"));
        connect(emailConfigs, &QPushButton::clicked, this, &TDBManagerForm::onClickedManageEmailConfigs);
    }
    m_innerLayout->addStretch();

    connect(m_connectionComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TDBManagerForm::onCurrentIndexChanged);
    connect(manageConnections, &QPushButton::clicked, this, &TDBManagerForm::onClickedManageConnections);
    connect(m_useSelectedButton, &QPushButton::clicked, this, &TDBManagerForm::onClickedUseSelected);
    connect(m_upgradeButton, &QPushButton::clicked, this, &TDBManagerForm::onClickedUpgrade);
    connect(devices, &QPushButton::clicked, this, &TDBManagerForm::onClickedManageDevices);
    connect(deviceConfigs, &QPushButton::clicked, this, &TDBManagerForm::onClickedManageDeviceConfigs);
    connect(locationConfigs, &QPushButton::clicked, this, &TDBManagerForm::onClickedManageLocationConfigs);
}

void TDBManagerForm::LoadConnectionList(const QString &preferredText)
{
    if (!m_connectionComboBox || !m_settings)
        return;
    const TORVSQLSettingsList list = m_settings->dbList();
    {
        // Refilled quietly; the selected entry is connected to once, below.
        const QSignalBlocker blocker(m_connectionComboBox);
        m_connectionComboBox->clear();
        for (const TORVSQLSettings &entry : list)
            m_connectionComboBox->addItem(entry.displayName());
        const int index = m_connectionComboBox->findText(preferredText, Qt::MatchExactly);
        m_connectionComboBox->setCurrentIndex(index >= 0 ? index
                                                         : (m_connectionComboBox->count() > 0 ? 0 : -1));
    }
    onCurrentIndexChanged(m_connectionComboBox->currentIndex());
}

void TDBManagerForm::UpdateDatabaseState()
{
    if (m_applicationConnectionLabel)
        m_applicationConnectionLabel->setText(tr("Application Connection: ") + ServerDatabaseName());
    if (!m_upgradeButton || !m_databaseStateLabel || !m_editorButtonFrame || !m_useSelectedButton)
        return;

    bool showUpgrade = false;
    bool usable = false;
    QString stateText;
    TVXDatabase *database = m_database.get();

    if (!database || !database->IsOpen()) {
        // nothing to show
    } else if (!database->IsUnrestricted() && !AllowRestrictedDatabase()) {
        stateText = tr("This database is restricted for use with Veltrix Server.");
    } else {
        const eVersionVerdict verdict = database->VersionVerdict();
        stateText = verdictText(database->DbVersion(), verdict);
        usable = verdict == eVersionVerdict::Current || verdict == eVersionVerdict::CanUpgrade;
        showUpgrade = verdict == eVersionVerdict::CanUpgrade || verdict == eVersionVerdict::MustUpgrade;
    }

    m_upgradeButton->setVisible(showUpgrade);
    m_databaseStateLabel->setText(stateText);
    m_editorButtonFrame->setEnabled(usable);
    // Only a usable database other than the server's current connection can
    // be chosen. The whole connection counts: the server's own entry edited in
    // Manage Connections keeps its name but can be applied.
    const int index = m_connectionComboBox ? m_connectionComboBox->currentIndex() : -1;
    const TORVSQLSettingsList list = m_settings ? m_settings->dbList() : TORVSQLSettingsList();
    m_useSelectedButton->setEnabled(usable && index >= 0 && index < list.size() &&
                                    list.at(index) != m_settings->serverDatabase());
}

bool TDBManagerForm::UpgradeDatabase()
{
    if (!m_database)
        return false;
    const TORVSQLSettings::Type type =
        m_database->Sql() ? m_database->Sql()->settings().type : TORVSQLSettings::Unknown;
    QString question =
        tr("Once upgraded the database cannot be reverted and will no longer work with some older "
           "versions of Veltrix software.\n");
    if (type == TORVSQLSettings::SQLite)
        question += tr("A copy of the database file as it is now will be kept next to it.\n");
    else if (type == TORVSQLSettings::MSSqlServer)
        question +=
            tr("No copy of a Microsoft SQL Server database is made from here: back it up on its server "
               "first.\n");
    question += tr("Would you like to upgrade now?");
    if (QMessageBox::question(this, tr("Upgrade Database"), question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::NoButton) != QMessageBox::Yes)
        return false;

    // The copy and the upgrade run on a worker; this thread shows their stages.
    TVXUpgradeOutcome outcome;
    {
        TUpgradeProgressDialog progress(this);
        progress.setWindowTitle(tr("Upgrade Database"));
        progress.setLabelText(tr("Upgrading the database ..."));
        progress.show();
        TVXDatabase *database = m_database.get();
        database->SetProgressObserver([&progress](const TVXUpgradeProgress &stage) {
            QMetaObject::invokeMethod(
                &progress, [&progress, stage]() { progress.showStage(stage); }, Qt::QueuedConnection);
        });
        runOnWorker(
            database,
            [database, &outcome]() {
                outcome = database->BackupAndUpgrade(true);
                return outcome.result;
            },
            nullptr, QString());
        database->SetProgressObserver({});
    }

    const TVXBackupOutcome &backup = outcome.backup;
    if (outcome.stop == eUpgradeStop::NoCopy) {
        QMessageBox::warning(
            this, tr("Upgrade Database"),
            tr("Database Upgrade Failed.\nThe database could not be copied before the upgrade, "
               "so it was not changed.\n") +
                backup.message,
            QMessageBox::Ok);
        return false;
    }
    if (!outcome.result.ok) {
        QString text = tr("Database Upgrade Failed.\n") + outcome.result.error;
        if (backup.copied)
            text += tr("\n\nThe copy made before the upgrade is:\n") + backup.path;
        QMessageBox::warning(this, tr("Upgrade Database"), text, QMessageBox::Ok);
        return false;
    }
    if (backup.copied)
        QMessageBox::information(this, tr("Upgrade Database"),
                                 tr("The database was upgraded.\nThe copy made before the upgrade is:\n") +
                                     backup.path,
                                 QMessageBox::Ok);
    return true;
}

bool TDBManagerForm::SaveSettings()
{
    if (!m_settings)
        return false;
    if (m_settings->writeToDisk())
        return true;
    QMessageBox::warning(this, tr("Error"),
                         tr("The settings could not be written to:\n%1\nThe change was not saved.")
                             .arg(m_settings->settingsFileName()),
                         QMessageBox::Ok);
    return false;
}

QString TDBManagerForm::ServerDatabaseName() const
{
    return m_settings ? m_settings->serverDatabase().displayName() : QString();
}

void TDBManagerForm::onCurrentIndexChanged(int index)
{
    if (m_settings && m_database) {
        const TORVSQLSettingsList list = m_settings->dbList();
        if (index >= 0 && index < list.size()) {
            const DisabledWhileBusy busy(this);
            ConnectToDatabase(list.at(index), m_database.get(), m_connectionStatusLabel);
        }
    }
    UpdateDatabaseState();
}

void TDBManagerForm::onClickedManageConnections()
{
    if (!m_settings)
        return;
    const TORVSQLSettingsList stored = m_settings->dbList();
    TORVSQLSettingsList list = stored;
    {
        TDBConnectionForm editor(this, &list, QString());
        editor.SetApplicationConnection(m_settings->serverDatabase());
        editor.exec();
    }
    m_settings->setDbList(list);
    // A list that could not be written must not stay behind in the store
    // (nor in Qt's cache of the file, which a later write would flush).
    if (!SaveSettings())
        m_settings->setDbList(stored);
    LoadConnectionList(m_connectionComboBox ? m_connectionComboBox->currentText() : QString());
    UpdateDatabaseState();
}

void TDBManagerForm::onClickedUseSelected()
{
    if (!m_settings || !m_connectionComboBox)
        return;
    const int index = m_connectionComboBox->currentIndex();
    const TORVSQLSettingsList list = m_settings->dbList();
    if (index >= 0 && index < list.size()) {
        const TORVSQLSettings previous = m_settings->serverDatabase();
        m_settings->setServerDatabase(list.at(index));
        if (SaveSettings())
            m_connectionChanged = true;
        else
            m_settings->setServerDatabase(previous); // keep showing what the file holds
    }
    UpdateDatabaseState();
}

void TDBManagerForm::onClickedUpgrade()
{
    UpgradeDatabase();
    UpdateDatabaseState();
}

void TDBManagerForm::OpenRecordEditor(EditorKind kind)
{
    if (!MakeSureConnectionIsOpen())
        return;
    OpenEditor(kind);
}

void TDBManagerForm::onClickedManageDevices()
{
    OpenRecordEditor(EditorKind::Devices);
}

void TDBManagerForm::onClickedManageDeviceConfigs()
{
    OpenRecordEditor(EditorKind::DeviceConfigs);
}

void TDBManagerForm::onClickedManageLocationConfigs()
{
    OpenRecordEditor(EditorKind::LocationConfigs);
}

void TDBManagerForm::onClickedManageEmailConfigs()
{
    OpenRecordEditor(EditorKind::EmailConfigs);
}

TVXSDBManagerForm::~TVXSDBManagerForm() = default;

bool TVXSDBManagerForm::AllowRestrictedDatabase() const
{
    return true;
}

std::unique_ptr<TVXDatabase> TVXSDBManagerForm::CreateDatabase() const
{
    return std::make_unique<TVXSDatabase>(TORVSQLSettings());
}

bool TVXSDBManagerForm::HasEmailConfigs() const
{
    return true;
}

} // namespace Database
} // namespace Veltrix
