#include "tvxscserverconfigform.h"
#include "ui_tvxscserverconfigform.h"

#include "emailaddress.h"
#include "settingslocation.h"
#include "tvxssettings.h"
#include "unitsandlevels.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListWidgetItem>
#include <QMessageBox>
#include <QTimeZone>

namespace Veltrix {
namespace Server {
namespace Controller {

namespace {

// Validation messages: parentless, titled "Error", no icon, one Ok button.
void showError(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, TVXSCServerConfigForm::tr("Error"), text, QMessageBox::Ok);
    box.exec();
}

// The non-empty item texts of a list widget, in list order.
QStringList itemTexts(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        const QString text = list->item(row)->text();
        if (!text.isEmpty())
            texts << text;
    }
    return texts;
}

QMap<QString, QVariant> storedValues(const QSettings &settings)
{
    QMap<QString, QVariant> values;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        values.insert(key, settings.value(key));
    return values;
}

// Qt keeps the changes that could not be written in a per-process cache of
// the file and writes them with the next settings object that opens it, even
// if the user cancelled the dialog in between. Put the earlier values back so
// that a failed save leaves no edits behind.
void restoreValues(QSettings &settings, const QMap<QString, QVariant> &stored)
{
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        if (!stored.contains(key))
            settings.remove(key);
    }
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        if (settings.value(it.key()) != it.value())
            settings.setValue(it.key(), it.value());
    }
}

// Shows every non-empty text as it is stored, so that Save writes back what
// was read.
void addItems(QListWidget *list, const QStringList &texts)
{
    for (const QString &text : texts) {
        if (!text.isEmpty())
            list->addItem(text);
    }
}

void removeSelectedItems(QListWidget *list)
{
    qDeleteAll(list->selectedItems());
}

// The dialog edits the first web user; any others stay as they are. Nothing
// is stored without a name and a password.
void saveFirstWebUser(TVXSSettings &settings, const QString &username, const QString &password)
{
    if (username.isEmpty() || password.isEmpty())
        return;
    QList<TWebUser> users = settings.webAuthUsers();
    // A password field that still shows the stored hash was not edited: keep
    // the hash instead of hashing it again.
    const bool alreadyHashed = !users.isEmpty() && users.first().password() == password;
    const TWebUser user(username, password, alreadyHashed);
    if (users.isEmpty())
        users.append(user);
    else
        users.first() = user;
    settings.setWebAuthUsers(users);
}

} // namespace

TVXSCServerConfigForm::TVXSCServerConfigForm(QWidget *parent)
    : QDialog(parent), ui(new Ui::TVXSCServerConfigForm)
{
    ui->setupUi(this);

    ui->leHTTPPassword->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    ui->leSharedKey->setEchoMode(QLineEdit::PasswordEchoOnEdit);

    connect(ui->cbEmailEnable, &QCheckBox::clicked, this, &TVXSCServerConfigForm::onClickedEmailEnable);
    connect(ui->cbFollowUpEmailEnable, &QCheckBox::clicked, this,
            &TVXSCServerConfigForm::onClickedFollowUpEmailEnable);
    connect(ui->pbAddToAddress, &QPushButton::clicked, this, &TVXSCServerConfigForm::onClickedAddToAddress);
    connect(ui->pbRemoveToAddress, &QPushButton::clicked, this,
            &TVXSCServerConfigForm::onClickedRemoveToAddress);
    connect(ui->pbAddTimezone, &QPushButton::clicked, this, &TVXSCServerConfigForm::onClickedAddTimezone);
    connect(ui->pbRemoveTimezone, &QPushButton::clicked, this,
            &TVXSCServerConfigForm::onClickedRemoveTimezone);
    connect(ui->pbSave, &QPushButton::clicked, this, &TVXSCServerConfigForm::saveSettings);
    connect(ui->pbCancel, &QPushButton::clicked, this, &QWidget::close);
    // The days box follows the check box, whatever the signal carries.
    connect(ui->cbRemoveOldImages, &QCheckBox::clicked, this,
            [this] { ui->sbDaysToKeepImages->setEnabled(ui->cbRemoveOldImages->isChecked()); });

    ui->sbDeviceServerPortNo->setRange(0, 65535);
    ui->sbWebServerPortNo->setRange(0, 65535);
    ui->sbSMTPPortNo->setRange(0, 65535);

    for (int level = 0; level < eventLevelCount; ++level)
        ui->cbEventLogEmailLevel->addItem(eventLevelName(level));
    ui->lwEventLogToAddresses->clear();
    for (int index = 0; index < unitOfMeasureCount; ++index)
        ui->cbUnitsOfMeasure->addItem(unitOfMeasureName(index));

    const QList<QByteArray> zoneIds = QTimeZone::availableTimeZoneIds();
    for (const QByteArray &id : zoneIds)
        ui->cbTimezoneList->addItem(QString::fromUtf8(id));
    ui->cbTimezoneList->setCurrentText(QString::fromUtf8(QTimeZone::systemTimeZoneId()));

    loadSettings();

    emit ui->cbRemoveOldImages->clicked(false);

    connect(ui->pbDevicePrivateKey, &QPushButton::clicked, this,
            [this] { selectFile(ui->leDevicePrivateKey, tr("Select Private Key File")); });
    connect(ui->pbDeviceCertificate, &QPushButton::clicked, this,
            [this] { selectFile(ui->leDeviceCertificate, tr("Select Certificate File")); });
    connect(ui->pbHTTPPrivateKey, &QPushButton::clicked, this,
            [this] { selectFile(ui->leHTTPPrivateKey, tr("Select Private Key File")); });
    connect(ui->pbHTTPCertificate, &QPushButton::clicked, this,
            [this] { selectFile(ui->leHTTPCertificate, tr("Select Certificate File")); });
}

TVXSCServerConfigForm::~TVXSCServerConfigForm()
{
    delete ui;
}

void TVXSCServerConfigForm::loadSettings()
{
    TVXSSettings settings(settingsFilePath());

    const TEmailEventSettings eventSettings = settings.emailEventSettings();

    ui->sbDeviceServerPortNo->setValue(settings.devicePort());
    ui->cbDeviceServerEncrypted->setChecked(settings.deviceServerEncrypted());
    ui->leDevicePrivateKey->setText(settings.deviceServerPrivateKeyPath());
    ui->leDeviceCertificate->setText(settings.deviceServerCertificatePath());
    ui->leSharedKey->setText(settings.deviceServerSharedKey());
    ui->cbAutoAddDevices->setChecked(settings.devicesAutoAdd());
    ui->sbWebServerPortNo->setValue(settings.webServerPort());
    ui->sbWebServerSSLPortNo->setValue(settings.webServerEncryptedPort());
    ui->cbWebServerEnabled->setChecked(settings.webServerEnabled());
    ui->cbWebServerSSLEnabled->setChecked(settings.webServerEncryptedEnabled());
    ui->leHTTPPrivateKey->setText(settings.webServerPrivateKeyPath());
    ui->leHTTPCertificate->setText(settings.webServerCertificatePath());

    const TSmtpSettings smtp = settings.smtpSettings();
    ui->cbEmailEnable->setChecked(settings.emailEnabled());
    onClickedEmailEnable();
    ui->leSMTPAddress->setText(smtp.address);
    ui->sbSMTPPortNo->setValue(smtp.port);
    ui->leSMTPUsername->setText(smtp.username);
    ui->leSMTPPassword->setText(smtp.password);
    ui->cbSMTPAuthenticate->setChecked(smtp.authenticate);
    ui->cbSMTPEncryption->setCurrentIndex(smtp.encryption);
    ui->leSMTPFrom->setText(smtp.fromAddress);

    ui->cbEventLogEmailLevel->setCurrentIndex(eventSettings.level);
    ui->leEventSubject->setText(eventSettings.subject);
    addItems(ui->lwEventLogToAddresses, eventSettings.toAddresses);

    ui->cbUnitsOfMeasure->setCurrentIndex(settings.unitsOfMeasure());
    ui->cbFollowUpEmailEnable->setChecked(settings.followUpEmailEnabled());
    ui->sbFollowUpEmailPeriod->setValue(settings.followUpEmailPeriod());
    onClickedFollowUpEmailEnable();

    addItems(ui->lwTimezones, settings.timezones());

    ui->teMaintenanceTime->setTime(settings.maintenanceTime());
    ui->sbDaysToKeepImages->setValue(settings.maintenanceDaysToKeepImages());
    ui->cbRemoveOldImages->setChecked(settings.maintenanceClearOldImages());

    ui->cbHTTPAuthenticate->setChecked(settings.webAuthAuthenticate());
    const QList<TWebUser> users = settings.webAuthUsers();
    if (users.isEmpty()) {
        ui->leHTTPUsername->clear();
        ui->leHTTPPassword->clear();
    } else {
        ui->leHTTPUsername->setText(users.first().username());
        ui->leHTTPPassword->setText(users.first().password());
    }

    // A value the widgets cannot show as stored (a choice or number out of
    // their range, a flag written as "yes", seconds of the maintenance time,
    // empty list entries) stays in the file unless the user changes it.
    m_loadedValues = shownValues();
}

QMap<eSetting, QVariant> TVXSCServerConfigForm::shownValues() const
{
    using E = eSetting;
    return {
        {E::DevicePort, ui->sbDeviceServerPortNo->value()},
        {E::DeviceServerEncrypted, ui->cbDeviceServerEncrypted->isChecked()},
        {E::DeviceServerPrivateKeyPath, ui->leDevicePrivateKey->text()},
        {E::DeviceServerCertificatePath, ui->leDeviceCertificate->text()},
        {E::DeviceServerSharedKey, ui->leSharedKey->text()},
        {E::DevicesAutoAdd, ui->cbAutoAddDevices->isChecked()},
        {E::WebServerPort, ui->sbWebServerPortNo->value()},
        {E::WebServerEnabled, ui->cbWebServerEnabled->isChecked()},
        {E::WebServerEncryptedPort, ui->sbWebServerSSLPortNo->value()},
        {E::WebServerEncryptedEnabled, ui->cbWebServerSSLEnabled->isChecked()},
        {E::WebServerPrivateKeyPath, ui->leHTTPPrivateKey->text()},
        {E::WebServerCertificatePath, ui->leHTTPCertificate->text()},
        {E::EmailEnabled, ui->cbEmailEnable->isChecked()},
        {E::EmailSmtpAddress, ui->leSMTPAddress->text()},
        {E::EmailSmtpPort, ui->sbSMTPPortNo->value()},
        {E::EmailSmtpUsername, ui->leSMTPUsername->text()},
        {E::EmailSmtpPassword, ui->leSMTPPassword->text()},
        {E::EmailSmtpAuthenticate, ui->cbSMTPAuthenticate->isChecked()},
        {E::EmailSmtpEncryption, ui->cbSMTPEncryption->currentIndex()},
        {E::EmailErrorFromAddress, ui->leSMTPFrom->text()},
        {E::EmailEventLevel, ui->cbEventLogEmailLevel->currentIndex()},
        {E::EmailErrorToAddresses, itemTexts(ui->lwEventLogToAddresses)},
        {E::EmailEventSubject, ui->leEventSubject->text()},
        {E::UnitsOfMeasure, ui->cbUnitsOfMeasure->currentIndex()},
        {E::FollowUpEmailEnabled, ui->cbFollowUpEmailEnable->isChecked()},
        {E::FollowUpEmailPeriod, ui->sbFollowUpEmailPeriod->value()},
        {E::Timezones, itemTexts(ui->lwTimezones)},
        {E::MaintenanceTime, ui->teMaintenanceTime->time()},
        {E::MaintenanceDaysToKeepImages, ui->sbDaysToKeepImages->value()},
        {E::MaintenanceClearOldImages, ui->cbRemoveOldImages->isChecked()},
        {E::WebAuthAuthenticate, ui->cbHTTPAuthenticate->isChecked()},
        {E::WebAuthUsers, QStringList{ui->leHTTPUsername->text(), ui->leHTTPPassword->text()}},
    };
}

void TVXSCServerConfigForm::saveSettings()
{
    bool ok = true;
    const auto fail = [&ok](const QString &text) {
        showError(text);
        ok = false;
    };

    if (ui->cbEmailEnable->isChecked()) {
        const QString fromAddress = ui->leSMTPFrom->text();
        if (ui->leSMTPAddress->text().isEmpty() || fromAddress.isEmpty() || ui->sbSMTPPortNo->value() == 0 ||
            (ui->cbSMTPAuthenticate->isChecked() &&
             (ui->leSMTPUsername->text().isEmpty() || ui->leSMTPPassword->text().isEmpty())))
            fail(tr("Invalid SMTP Settings"));
        if (!isValidEmail(fromAddress))
            fail(tr("Invalid \"From\" Address"));
        if (ui->cbEventLogEmailLevel->currentIndex() != 0 && itemTexts(ui->lwEventLogToAddresses).isEmpty())
            fail(tr("Must add at least one \"TO\" Address"));
    }

    const int httpPort = ui->sbWebServerPortNo->value();
    const int httpsPort = ui->sbWebServerSSLPortNo->value();
    const int devicePort = ui->sbDeviceServerPortNo->value();
    if (httpPort == httpsPort)
        fail(tr("HTTP and HTTPS servers cannot use the same port."));
    if (devicePort == httpPort || devicePort == httpsPort)
        fail(tr("Device and HTTP/HTTPS servers cannot use the same port."));

    if (ui->cbHTTPAuthenticate->isChecked() &&
        (ui->leHTTPUsername->text().isEmpty() || ui->leHTTPPassword->text().isEmpty()))
        fail(tr("If Web Authentication is enabled, Username and Password cannot be blank."));

    if (ui->cbDeviceServerEncrypted->isChecked() &&
        (!QFile::exists(ui->leDevicePrivateKey->text()) || !QFile::exists(ui->leDeviceCertificate->text())))
        fail(tr("If Device Server is encrypted, valid Private Key and Certificate files need to "
                "be provided."));

    if (ui->cbWebServerSSLEnabled->isChecked() &&
        (!QFile::exists(ui->leHTTPPrivateKey->text()) || !QFile::exists(ui->leHTTPCertificate->text())))
        fail(tr("If HTTPS is enabled, valid Private Key and Certificate files need to be "
                "provided."));

    if (!ok)
        return;

    TVXSSettings settings(settingsFilePath());
    const QMap<QString, QVariant> stored = storedValues(settings);

    // Only what the user changed is written: every other key keeps its
    // stored text.
    const QMap<eSetting, QVariant> values = shownValues();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.value() == m_loadedValues.value(it.key()))
            continue;
        if (it.key() == eSetting::WebAuthUsers) {
            const QStringList user = it.value().toStringList();
            saveFirstWebUser(settings, user.at(0), user.at(1));
        } else {
            writeSetting(settings, it.key(), it.value());
        }
    }

    if (!settings.writeToDisk()) {
        restoreValues(settings, stored);
        showError(tr("The settings could not be saved to \"%1\".")
                      .arg(QDir::toNativeSeparators(settings.settingsFileName())));
        return;
    }
    close();
}

void TVXSCServerConfigForm::onClickedAddToAddress()
{
    const QString address = ui->leToAddressInput->text();
    if (!isValidEmail(address)) {
        showError(tr("Invalid \"To\" Address"));
        return;
    }
    ui->lwEventLogToAddresses->addItem(address);
    ui->leToAddressInput->clear();
}

void TVXSCServerConfigForm::onClickedRemoveToAddress()
{
    removeSelectedItems(ui->lwEventLogToAddresses);
}

void TVXSCServerConfigForm::onClickedAddTimezone()
{
    ui->lwTimezones->addItem(ui->cbTimezoneList->currentText());
}

void TVXSCServerConfigForm::onClickedRemoveTimezone()
{
    removeSelectedItems(ui->lwTimezones);
}

void TVXSCServerConfigForm::onClickedEmailEnable()
{
    const bool enabled = ui->cbEmailEnable->isChecked();
    ui->leSMTPAddress->setEnabled(enabled);
    ui->sbSMTPPortNo->setEnabled(enabled);
    ui->leSMTPUsername->setEnabled(enabled);
    ui->leSMTPPassword->setEnabled(enabled);
    ui->leSMTPFrom->setEnabled(enabled);
    ui->cbSMTPAuthenticate->setEnabled(enabled);
    ui->cbSMTPEncryption->setEnabled(enabled);
}

void TVXSCServerConfigForm::onClickedFollowUpEmailEnable()
{
    ui->sbFollowUpEmailPeriod->setEnabled(ui->cbFollowUpEmailEnable->isChecked());
}

void TVXSCServerConfigForm::selectFile(QLineEdit *target, const QString &caption)
{
    const QString fileName = QFileDialog::getOpenFileName(this, caption, target->text());
    if (!fileName.isEmpty())
        target->setText(fileName);
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
