#pragma once

#include "settingstable.h"
#include "torvsqlsettings.h"
#include "tvxsettingsbase.h"

#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTime>

#include <memory>

namespace Veltrix {
namespace Server {

// Outgoing mail server, stored under "email/" key by key in field order.
struct TSmtpSettings
{
    QString address;
    quint16 port = 0;
    QString username;
    QString password;
    bool authenticate = true;
    int encryption = 0; // 0 None, 1 SSL/TLS, 2 STARTTLS
    QString fromAddress;
};

// Who is told about server events, and from which level on.
struct TEmailEventSettings
{
    QStringList toAddresses;
    QString subject;
    int level = 0; // 0 None, 1 Error, 2 Warning, 3 Information
};

// One login of the server's web pages. The password is kept as its MD5 hash.
class TWebUser
{
public:
    TWebUser() = default;
    // A non-empty password is hashed unless it is already a hash.
    TWebUser(const QString &username, const QString &password, bool alreadyHashed);

    bool isValid() const { return !m_username.isEmpty() && !m_password.isEmpty(); }
    QString username() const { return m_username; }
    QString password() const { return m_password; }

    // MD5 of the local 8-bit form of the text, as 32 lower-case hex digits.
    static QString hashPassword(const QString &password);

private:
    QString m_username;
    QString m_password;
};

// The settings file shared with the server ("VeltrixServer.ini", INI format).
// Constructing it writes every missing key with its default. Values that are
// missing or cannot be parsed read as the getter defaults. Keys, types and
// defaults: settingstable.cpp.
class TVXSSettings : public QSettings, public TVXSettingsBase
{
public:
    explicit TVXSSettings(const QString &fileName);
    ~TVXSSettings() override = default;

    // Opens fileName for reading only: no defaults are written, and the store
    // is const, so that no value can be set; the file is never written.
    static std::unique_ptr<const TVXSSettings> openReadOnly(const QString &fileName);

    // What createDefaults() writes into a new file at fileName: its
    // "settingsPath" (the file's folder), and the server's connection for a
    // "settingsPath" (the database "vxs.db" in that folder).
    static QString defaultSettingsPath(const QString &fileName);
    static TORVSQLSettings defaultServerDatabase(const QString &settingsPath);

    // TVXSettingsBase
    void createDefaults() override;
    QString settingsPath() const override { return get<QString>(eSetting::SettingsPath); }
    int unitsOfMeasure() const override { return get<int>(eSetting::UnitsOfMeasure); }
    void setUnitsOfMeasure(int units) override { set(eSetting::UnitsOfMeasure, units); }
    QStringList timezones() const override { return get<QStringList>(eSetting::Timezones); }
    void setTimezones(const QStringList &zones) override { set(eSetting::Timezones, zones); }
    TORVSQLSettingsList dbList() const override;
    void setDbList(const TORVSQLSettingsList &list) override;
    TORVSQLSettings serverDatabase() const override;
    void setServerDatabase(const TORVSQLSettings &settings) override;
    bool writeToDisk() override;
    QString settingsFileName() const override { return fileName(); }

    void setSettingsPath(const QString &path) { set(eSetting::SettingsPath, path); }

    quint16 devicePort() const { return get<quint16>(eSetting::DevicePort); }
    void setDevicePort(quint16 port) { set(eSetting::DevicePort, port); }
    bool deviceServerEncrypted() const { return get<bool>(eSetting::DeviceServerEncrypted); }
    void setDeviceServerEncrypted(bool encrypted) { set(eSetting::DeviceServerEncrypted, encrypted); }
    QString deviceServerPrivateKeyPath() const { return get<QString>(eSetting::DeviceServerPrivateKeyPath); }
    void setDeviceServerPrivateKeyPath(const QString &path)
    {
        set(eSetting::DeviceServerPrivateKeyPath, path);
    }
    QString deviceServerCertificatePath() const
    {
        return get<QString>(eSetting::DeviceServerCertificatePath);
    }
    void setDeviceServerCertificatePath(const QString &path)
    {
        set(eSetting::DeviceServerCertificatePath, path);
    }
    QString deviceServerSharedKey() const { return get<QString>(eSetting::DeviceServerSharedKey); }
    void setDeviceServerSharedKey(const QString &key) { set(eSetting::DeviceServerSharedKey, key); }

    quint16 webServerPort() const { return get<quint16>(eSetting::WebServerPort); }
    void setWebServerPort(quint16 port) { set(eSetting::WebServerPort, port); }
    quint16 webServerEncryptedPort() const { return get<quint16>(eSetting::WebServerEncryptedPort); }
    void setWebServerEncryptedPort(quint16 port) { set(eSetting::WebServerEncryptedPort, port); }
    bool webServerEnabled() const { return get<bool>(eSetting::WebServerEnabled); }
    void setWebServerEnabled(bool enabled) { set(eSetting::WebServerEnabled, enabled); }
    bool webServerEncryptedEnabled() const { return get<bool>(eSetting::WebServerEncryptedEnabled); }
    void setWebServerEncryptedEnabled(bool enabled) { set(eSetting::WebServerEncryptedEnabled, enabled); }
    QString webServerPrivateKeyPath() const { return get<QString>(eSetting::WebServerPrivateKeyPath); }
    void setWebServerPrivateKeyPath(const QString &path) { set(eSetting::WebServerPrivateKeyPath, path); }
    QString webServerCertificatePath() const { return get<QString>(eSetting::WebServerCertificatePath); }
    void setWebServerCertificatePath(const QString &path) { set(eSetting::WebServerCertificatePath, path); }

    bool followUpEmailEnabled() const { return get<bool>(eSetting::FollowUpEmailEnabled); }
    void setFollowUpEmailEnabled(bool enabled) { set(eSetting::FollowUpEmailEnabled, enabled); }
    int followUpEmailPeriod() const { return get<int>(eSetting::FollowUpEmailPeriod); }
    void setFollowUpEmailPeriod(int hours) { set(eSetting::FollowUpEmailPeriod, hours); }

    bool emailEnabled() const { return get<bool>(eSetting::EmailEnabled); }
    void setEmailEnabled(bool enabled) { set(eSetting::EmailEnabled, enabled); }
    QString emailSmtpAddress() const { return get<QString>(eSetting::EmailSmtpAddress); }
    void setEmailSmtpAddress(const QString &address) { set(eSetting::EmailSmtpAddress, address); }
    quint16 emailSmtpPort() const { return get<quint16>(eSetting::EmailSmtpPort); }
    void setEmailSmtpPort(quint16 port) { set(eSetting::EmailSmtpPort, port); }
    QString emailSmtpUsername() const { return get<QString>(eSetting::EmailSmtpUsername); }
    void setEmailSmtpUsername(const QString &username) { set(eSetting::EmailSmtpUsername, username); }
    QString emailSmtpPassword() const { return get<QString>(eSetting::EmailSmtpPassword); }
    void setEmailSmtpPassword(const QString &password) { set(eSetting::EmailSmtpPassword, password); }
    bool emailSmtpAuthenticate() const { return get<bool>(eSetting::EmailSmtpAuthenticate); }
    void setEmailSmtpAuthenticate(bool authenticate) { set(eSetting::EmailSmtpAuthenticate, authenticate); }
    int emailSmtpEncryption() const { return get<int>(eSetting::EmailSmtpEncryption); }
    void setEmailSmtpEncryption(int encryption) { set(eSetting::EmailSmtpEncryption, encryption); }
    QString emailErrorFromAddress() const { return get<QString>(eSetting::EmailErrorFromAddress); }
    void setEmailErrorFromAddress(const QString &address) { set(eSetting::EmailErrorFromAddress, address); }
    // A stored level that is no event level (unitsandlevels.h) reads as the
    // written default, 2 (Warning).
    int emailEventLevel() const;
    void setEmailEventLevel(int level) { set(eSetting::EmailEventLevel, level); }
    QStringList emailErrorToAddresses() const { return get<QStringList>(eSetting::EmailErrorToAddresses); }
    void setEmailErrorToAddresses(const QStringList &addresses)
    {
        set(eSetting::EmailErrorToAddresses, addresses);
    }
    QString emailEventSubject() const { return get<QString>(eSetting::EmailEventSubject); }
    void setEmailEventSubject(const QString &subject) { set(eSetting::EmailEventSubject, subject); }

    TSmtpSettings smtpSettings() const;
    void setSmtpSettings(const TSmtpSettings &smtp);
    TEmailEventSettings emailEventSettings() const;
    void setEmailEventSettings(const TEmailEventSettings &events);

    // Stored as "hh:mm:ss".
    QTime maintenanceTime() const { return get<QTime>(eSetting::MaintenanceTime); }
    void setMaintenanceTime(const QTime &time) { set(eSetting::MaintenanceTime, time); }
    bool maintenanceClearOldImages() const { return get<bool>(eSetting::MaintenanceClearOldImages); }
    void setMaintenanceClearOldImages(bool clear) { set(eSetting::MaintenanceClearOldImages, clear); }
    int maintenanceDaysToKeepImages() const { return get<int>(eSetting::MaintenanceDaysToKeepImages); }
    void setMaintenanceDaysToKeepImages(int days) { set(eSetting::MaintenanceDaysToKeepImages, days); }

    bool devicesAutoAdd() const { return get<bool>(eSetting::DevicesAutoAdd); }
    void setDevicesAutoAdd(bool autoAdd) { set(eSetting::DevicesAutoAdd, autoAdd); }

    bool webAuthAuthenticate() const { return get<bool>(eSetting::WebAuthAuthenticate); }
    void setWebAuthAuthenticate(bool authenticate) { set(eSetting::WebAuthAuthenticate, authenticate); }
    // Entries without a user name or password are skipped.
    QList<TWebUser> webAuthUsers();
    void setWebAuthUsers(const QList<TWebUser> &users);

    // Used by the server only.
    QString webPagePath() const { return get<QString>(eSetting::WebPagePath); }
    int createdDefaultRecoveryOptions() const { return get<int>(eSetting::CreatedDefaultRecoveryOptions); }
    void setCreatedDefaultRecoveryOptions(int value) { set(eSetting::CreatedDefaultRecoveryOptions, value); }
    bool hasCreatedDefaultRecoveryOptions() const
    {
        return contains(settingKey(eSetting::CreatedDefaultRecoveryOptions));
    }

private:
    TVXSSettings(const QString &fileName, bool writeDefaults);

    template <typename T> T get(eSetting setting) const { return readSetting(*this, setting).value<T>(); }
    void set(eSetting setting, const QVariant &value) { writeSetting(*this, setting, value); }
    // Whether createDefaults() finds the setting absent.
    bool isMissing(eSetting setting) const;
};

} // namespace Server
} // namespace Veltrix
