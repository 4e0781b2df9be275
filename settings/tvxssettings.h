#pragma once

#include "torvsqlsettings.h"
#include "tvxsettingsbase.h"

#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTime>

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

// Name of a unit of measure by index (0..11), empty for any other index.
QString unitOfMeasureName(int index);
// "None", "Error", "Warning", "Information" for 0..3, empty otherwise.
QString eventLevelName(int level);

// The settings file shared with the server ("VeltrixServer.ini", INI format).
// Constructing it writes every missing key with its default. Values that are
// missing or cannot be parsed read as the getter defaults.
class TVXSSettings : public QSettings, public TVXSettingsBase
{
public:
    explicit TVXSSettings(const QString &fileName);
    ~TVXSSettings() override = default;

    // TVXSettingsBase
    void createDefaults() override;
    QString settingsPath() const override;
    int unitsOfMeasure() const override;
    void setUnitsOfMeasure(int units) override;
    QStringList timezones() const override;
    void setTimezones(const QStringList &zones) override;
    TORVSQLSettingsList dbList() override;
    void setDbList(const TORVSQLSettingsList &list) override;
    TORVSQLSettings serverDatabase() override;
    void setServerDatabase(const TORVSQLSettings &settings) override;
    bool writeToDisk() override;
    QString settingsFileName() const override;

    void setSettingsPath(const QString &path);

    quint16 devicePort() const;
    void setDevicePort(quint16 port);
    bool deviceServerEncrypted() const;
    void setDeviceServerEncrypted(bool encrypted);
    QString deviceServerPrivateKeyPath() const;
    void setDeviceServerPrivateKeyPath(const QString &path);
    QString deviceServerCertificatePath() const;
    void setDeviceServerCertificatePath(const QString &path);
    QString deviceServerSharedKey() const;
    void setDeviceServerSharedKey(const QString &key);

    quint16 webServerPort() const;
    void setWebServerPort(quint16 port);
    quint16 webServerEncryptedPort() const;
    void setWebServerEncryptedPort(quint16 port);
    bool webServerEnabled() const;
    void setWebServerEnabled(bool enabled);
    bool webServerEncryptedEnabled() const;
    void setWebServerEncryptedEnabled(bool enabled);
    QString webServerPrivateKeyPath() const;
    void setWebServerPrivateKeyPath(const QString &path);
    QString webServerCertificatePath() const;
    void setWebServerCertificatePath(const QString &path);

    bool followUpEmailEnabled() const;
    void setFollowUpEmailEnabled(bool enabled);
    int followUpEmailPeriod() const;
    void setFollowUpEmailPeriod(int hours);

    bool emailEnabled() const;
    void setEmailEnabled(bool enabled);
    QString emailSmtpAddress() const;
    void setEmailSmtpAddress(const QString &address);
    quint16 emailSmtpPort() const;
    void setEmailSmtpPort(quint16 port);
    QString emailSmtpUsername() const;
    void setEmailSmtpUsername(const QString &username);
    QString emailSmtpPassword() const;
    void setEmailSmtpPassword(const QString &password);
    bool emailSmtpAuthenticate() const;
    void setEmailSmtpAuthenticate(bool authenticate);
    int emailSmtpEncryption() const;
    void setEmailSmtpEncryption(int encryption);
    QString emailErrorFromAddress() const;
    void setEmailErrorFromAddress(const QString &address);
    // A stored level outside 0..3 reads as 2.
    int emailEventLevel() const;
    void setEmailEventLevel(int level);
    QStringList emailErrorToAddresses() const;
    void setEmailErrorToAddresses(const QStringList &addresses);
    QString emailEventSubject() const;
    void setEmailEventSubject(const QString &subject);

    TSmtpSettings smtpSettings() const;
    void setSmtpSettings(const TSmtpSettings &smtp);
    TEmailEventSettings emailEventSettings() const;
    void setEmailEventSettings(const TEmailEventSettings &events);

    // Stored as "hh:mm:ss"; a missing or unreadable value reads as 03:00:00.
    QTime maintenanceTime() const;
    void setMaintenanceTime(const QTime &time);
    bool maintenanceClearOldImages() const;
    void setMaintenanceClearOldImages(bool clear);
    int maintenanceDaysToKeepImages() const;
    void setMaintenanceDaysToKeepImages(int days);

    bool devicesAutoAdd() const;
    void setDevicesAutoAdd(bool autoAdd);

    bool webAuthAuthenticate() const;
    void setWebAuthAuthenticate(bool authenticate);
    // Entries without a user name or password are skipped.
    QList<TWebUser> webAuthUsers();
    void setWebAuthUsers(const QList<TWebUser> &users);

    // Used by the server only.
    QString webPagePath() const;
    int createdDefaultRecoveryOptions() const;
    void setCreatedDefaultRecoveryOptions(int value);
    bool hasCreatedDefaultRecoveryOptions() const;

private:
    QString readText(const QString &key) const;
    bool readBool(const QString &key, bool defaultValue) const;
    int readInt(const QString &key, int defaultValue) const;
    quint16 readPort(const QString &key) const;
    QStringList readJoinedList(const QString &key) const;
    void writePort(const QString &key, int port);
    void writeJoinedList(const QString &key, const QStringList &list);
};

} // namespace Server
} // namespace Veltrix
