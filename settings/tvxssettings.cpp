#include "tvxssettings.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace Veltrix {
namespace Server {

namespace {

// Keys of the settings file. The server reads the same names.
const QString kDevicePort = QStringLiteral("devicePort");
const QString kDeviceServerEncrypted = QStringLiteral("deviceServerEncrypted");
const QString kDeviceServerPrivateKeyPath = QStringLiteral("deviceServerPrivateKeyPath");
const QString kDeviceServerCertificatePath = QStringLiteral("deviceServerCertificatePath");
const QString kDeviceServerSharedKey = QStringLiteral("deviceServerSharedKey");
const QString kWebServerPort = QStringLiteral("webServerPort");
const QString kWebServerEncryptedPort = QStringLiteral("webServerEncryptedPort");
const QString kWebServerEnabled = QStringLiteral("webServerEnabled");
const QString kWebServerEncryptedEnabled = QStringLiteral("webServerEncryptedEnabled");
const QString kWebServerPrivateKeyPath = QStringLiteral("webServerPrivateKeyPath");
const QString kWebServerCertificatePath = QStringLiteral("webServerCertificatePath");
const QString kSettingsPath = QStringLiteral("settingsPath");
const QString kUnitsOfMeasure = QStringLiteral("unitsOfMeasure");
const QString kFollowUpEmailEnabled = QStringLiteral("followUpEmailEnabled");
const QString kFollowUpEmailPeriod = QStringLiteral("followUpEmailPeriod");
const QString kEmailEnabled = QStringLiteral("email/enabled");
const QString kSmtpAddress = QStringLiteral("email/smtpAddress");
const QString kSmtpPort = QStringLiteral("email/smtpPort");
const QString kSmtpUsername = QStringLiteral("email/smtpUsername");
const QString kSmtpPassword = QStringLiteral("email/smtpPassword");
const QString kSmtpAuthenticate = QStringLiteral("email/smtpAuthenticate");
const QString kSmtpEncryption = QStringLiteral("email/smtpEncryption");
const QString kErrorFromAddress = QStringLiteral("email/errorFromAddress");
const QString kEventLevel = QStringLiteral("email/eventLevel");
const QString kErrorToAddresses = QStringLiteral("email/errorToAddresses");
const QString kEventSubject = QStringLiteral("email/eventSubject");
const QString kTimezones = QStringLiteral("timezones");
const QString kMaintenanceTime = QStringLiteral("maintenance/time");
const QString kMaintenanceClearOldImages = QStringLiteral("maintenance/clearOldImages");
const QString kMaintenanceDaysToKeepImages = QStringLiteral("maintenance/daysToKeepImages");
const QString kDevicesAutoAdd = QStringLiteral("devices/autoAdd");
const QString kWebAuthAuthenticate = QStringLiteral("webAuth/authenticate");
const QString kWebAuthUsers = QStringLiteral("webAuth/Users");
const QString kWebPagePath = QStringLiteral("webPagePath");
const QString kCreatedDefaultRecoveryOptions = QStringLiteral("createdDefaultRecoveryOptions");
const QString kServerDatabaseGroup = QStringLiteral("db");
const QString kDbListArray = QStringLiteral("dbList");

// Placeholders written into a new file; the administrator replaces them in the
// server configuration dialog.
const QString kDefaultSmtpHost = QStringLiteral("smtp.example.com");
const QString kDefaultSenderAddress = QStringLiteral("veltrix.alerts@example.com");
const QStringList kDefaultRecipients = {QStringLiteral("admin@example.com"),
                                        QStringLiteral("operator@example.org")};
const QString kDefaultSmtpPassword = QStringLiteral("Qwerty45678");
constexpr quint16 kDefaultSmtpPort = 465;
constexpr int kDefaultSmtpEncryption = 1;
constexpr int kDefaultEventLevel = 2;

const QTime kDefaultMaintenanceTime(3, 0);
constexpr int kDefaultDaysToKeepImages = 30;

const QStringList kDefaultTimezones = {
    QStringLiteral("Australia/Adelaide"),    QStringLiteral("Australia/Brisbane"),
    QStringLiteral("Australia/Broken_Hill"), QStringLiteral("Australia/Currie"),
    QStringLiteral("Australia/Darwin"),      QStringLiteral("Australia/Hobart"),
    QStringLiteral("Australia/Lindeman"),    QStringLiteral("Australia/Melbourne"),
    QStringLiteral("Australia/Perth"),       QStringLiteral("Australia/Sydney"),
    QStringLiteral("Pacific/Auckland")};

const char *const kUnitsOfMeasureNames[] = {"g/100ml",  "% BAC", "Promille w/w", "Promille w/v",
                                            "mg/mL",    "g/L",   "mg/100mL",     "ug/L",
                                            "ug/100mL", "mg/L",  "g/210L",       "g/230L"};
const char *const kEventLevelNames[] = {"None", "Error", "Warning", "Information"};

} // namespace

QString unitOfMeasureName(int index)
{
    constexpr int count = int(sizeof(kUnitsOfMeasureNames) / sizeof(kUnitsOfMeasureNames[0]));
    if (index < 0 || index >= count)
        return QString();
    return QString::fromLatin1(kUnitsOfMeasureNames[index]);
}

QString eventLevelName(int level)
{
    constexpr int count = int(sizeof(kEventLevelNames) / sizeof(kEventLevelNames[0]));
    if (level < 0 || level >= count)
        return QString();
    return QString::fromLatin1(kEventLevelNames[level]);
}

TWebUser::TWebUser(const QString &username, const QString &password, bool alreadyHashed)
    : m_username(username),
      m_password(alreadyHashed || password.isEmpty() ? password : hashPassword(password))
{}

QString TWebUser::hashPassword(const QString &password)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(password.toLocal8Bit(), QCryptographicHash::Md5).toHex());
}

TVXSSettings::TVXSSettings(const QString &fileName) : QSettings(fileName, QSettings::IniFormat)
{
    createDefaults();
}

void TVXSSettings::createDefaults()
{
    const auto setMissing = [this](const QString &key, const QVariant &value) {
        if (!contains(key))
            setValue(key, value);
    };

    setMissing(kDevicePort, 26001);
    setMissing(kDeviceServerEncrypted, false);
    setMissing(kDeviceServerPrivateKeyPath, QString());
    setMissing(kDeviceServerCertificatePath, QString());
    setMissing(kDeviceServerSharedKey, QString());
    setMissing(kWebServerPort, 80);
    setMissing(kWebServerEncryptedPort, 443);
    setMissing(kWebServerEnabled, false);
    setMissing(kWebServerEncryptedEnabled, false);
    setMissing(kWebServerPrivateKeyPath, QString());
    setMissing(kWebServerCertificatePath, QString());
    // The server keeps its own files next to the settings file.
    const QString file = fileName();
    setMissing(kSettingsPath, file.left(file.lastIndexOf(QLatin1Char('/')) + 1));
    setMissing(kEmailEnabled, false);
    setMissing(kUnitsOfMeasure, 0);
    setMissing(kFollowUpEmailEnabled, false);
    setMissing(kFollowUpEmailPeriod, 2);

    if (!contains(kServerDatabaseGroup + QStringLiteral("/type"))) {
        TORVSQLSettings database;
        database.connectionName = QStringLiteral("Server Default");
        database.type = TORVSQLSettings::SQLite;
        database.databaseName = settingsPath() + QStringLiteral("vxs.db");
        setServerDatabase(database);
    }
    // Counted by the entries present, so that a damaged size cannot leave the
    // database manager without any connection to offer.
    if (TORVSQLSettings::storedArrayIndexes(*this, kDbListArray).isEmpty())
        setDbList({serverDatabase()});

    // A missing address or level stands for a group that was never written.
    // Its defaults go in key by key, so that values already present in a
    // partly written group are not replaced by those of their neighbours.
    if (!contains(kSmtpAddress)) {
        setValue(kSmtpAddress, kDefaultSmtpHost);
        if (!contains(kSmtpPort))
            setEmailSmtpPort(kDefaultSmtpPort);
        setMissing(kSmtpUsername, kDefaultSenderAddress);
        setMissing(kSmtpPassword, kDefaultSmtpPassword);
        setMissing(kSmtpAuthenticate, true);
        setMissing(kSmtpEncryption, kDefaultSmtpEncryption);
        setMissing(kErrorFromAddress, kDefaultSenderAddress);
    }
    setMissing(kEmailEnabled, false);
    if (!contains(kEventLevel)) {
        setValue(kEventLevel, kDefaultEventLevel);
        if (!contains(kErrorToAddresses))
            setEmailErrorToAddresses(kDefaultRecipients);
        setMissing(kEventSubject, QString());
    }

    if (!contains(kTimezones))
        setTimezones(kDefaultTimezones);
    if (!contains(kMaintenanceTime))
        setMaintenanceTime(kDefaultMaintenanceTime);
    setMissing(kMaintenanceClearOldImages, false);
    setMissing(kMaintenanceDaysToKeepImages, kDefaultDaysToKeepImages);
    setMissing(kDevicesAutoAdd, true);
    setMissing(kWebAuthAuthenticate, false);
}

bool TVXSSettings::writeToDisk()
{
    sync();
    // QSettings reports a file or folder it could not create or write as
    // AccessError; a file that still does not exist was not written either.
    // FormatError only says that parts of a damaged file could not be parsed
    // on the way: the file has been written all the same.
    return status() != QSettings::AccessError && QFileInfo(fileName()).isFile();
}

QString TVXSSettings::settingsFileName() const
{
    return fileName();
}

// Reading helpers. A value that cannot be parsed reads as the default, so a
// damaged file gives the same result as a missing key.

QString TVXSSettings::readText(const QString &key) const
{
    const QVariant stored = value(key);
    // An unquoted text with commas, as a hand-edited file may hold, comes back
    // as a list; keep it as the text that was written.
    if (stored.type() == QVariant::StringList)
        return stored.toStringList().join(QLatin1Char(','));
    return stored.toString();
}

bool TVXSSettings::readBool(const QString &key, bool defaultValue) const
{
    const QVariant stored = value(key);
    if (!stored.isValid())
        return defaultValue;
    if (stored.type() == QVariant::Bool)
        return stored.toBool();
    const QString text = stored.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return defaultValue;
}

int TVXSSettings::readInt(const QString &key, int defaultValue) const
{
    const QVariant stored = value(key);
    if (!stored.isValid() || stored.type() == QVariant::Bool)
        return defaultValue;
    bool ok = false;
    const int number = stored.toInt(&ok);
    return ok ? number : defaultValue;
}

quint16 TVXSSettings::readPort(const QString &key) const
{
    // Stored ports are 16-bit: a larger number keeps its low 16 bits, as the
    // server's own conversion does; a negative or unreadable one reads as 0.
    const int port = readInt(key, 0);
    return port >= 0 ? static_cast<quint16>(port & 0xFFFF) : 0;
}

QStringList TVXSSettings::readJoinedList(const QString &key) const
{
    return readText(key).split(QLatin1Char(','), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

void TVXSSettings::writePort(const QString &key, int port)
{
    setValue(key, port & 0xFFFF);
}

void TVXSSettings::writeJoinedList(const QString &key, const QStringList &list)
{
    setValue(key, list.join(QLatin1Char(',')));
}

// TVXSettingsBase

QString TVXSSettings::settingsPath() const
{
    return readText(kSettingsPath);
}

void TVXSSettings::setSettingsPath(const QString &path)
{
    setValue(kSettingsPath, path);
}

int TVXSSettings::unitsOfMeasure() const
{
    return readInt(kUnitsOfMeasure, 0);
}

void TVXSSettings::setUnitsOfMeasure(int units)
{
    setValue(kUnitsOfMeasure, units);
}

QStringList TVXSSettings::timezones() const
{
    return readJoinedList(kTimezones);
}

void TVXSSettings::setTimezones(const QStringList &zones)
{
    writeJoinedList(kTimezones, zones);
}

TORVSQLSettingsList TVXSSettings::dbList()
{
    return TORVSQLSettings::readList(*this, kDbListArray);
}

void TVXSSettings::setDbList(const TORVSQLSettingsList &list)
{
    TORVSQLSettings::writeList(*this, kDbListArray, list);
}

TORVSQLSettings TVXSSettings::serverDatabase()
{
    return TORVSQLSettings::read(*this, kServerDatabaseGroup);
}

void TVXSSettings::setServerDatabase(const TORVSQLSettings &settings)
{
    settings.write(*this, kServerDatabaseGroup);
}

// Device server

quint16 TVXSSettings::devicePort() const
{
    return readPort(kDevicePort);
}

void TVXSSettings::setDevicePort(quint16 port)
{
    writePort(kDevicePort, port);
}

bool TVXSSettings::deviceServerEncrypted() const
{
    return readBool(kDeviceServerEncrypted, false);
}

void TVXSSettings::setDeviceServerEncrypted(bool encrypted)
{
    setValue(kDeviceServerEncrypted, encrypted);
}

QString TVXSSettings::deviceServerPrivateKeyPath() const
{
    return readText(kDeviceServerPrivateKeyPath);
}

void TVXSSettings::setDeviceServerPrivateKeyPath(const QString &path)
{
    setValue(kDeviceServerPrivateKeyPath, path);
}

QString TVXSSettings::deviceServerCertificatePath() const
{
    return readText(kDeviceServerCertificatePath);
}

void TVXSSettings::setDeviceServerCertificatePath(const QString &path)
{
    setValue(kDeviceServerCertificatePath, path);
}

QString TVXSSettings::deviceServerSharedKey() const
{
    return readText(kDeviceServerSharedKey);
}

void TVXSSettings::setDeviceServerSharedKey(const QString &key)
{
    setValue(kDeviceServerSharedKey, key);
}

// Web server

quint16 TVXSSettings::webServerPort() const
{
    return readPort(kWebServerPort);
}

void TVXSSettings::setWebServerPort(quint16 port)
{
    writePort(kWebServerPort, port);
}

quint16 TVXSSettings::webServerEncryptedPort() const
{
    return readPort(kWebServerEncryptedPort);
}

void TVXSSettings::setWebServerEncryptedPort(quint16 port)
{
    writePort(kWebServerEncryptedPort, port);
}

bool TVXSSettings::webServerEnabled() const
{
    return readBool(kWebServerEnabled, false);
}

void TVXSSettings::setWebServerEnabled(bool enabled)
{
    setValue(kWebServerEnabled, enabled);
}

bool TVXSSettings::webServerEncryptedEnabled() const
{
    return readBool(kWebServerEncryptedEnabled, false);
}

void TVXSSettings::setWebServerEncryptedEnabled(bool enabled)
{
    setValue(kWebServerEncryptedEnabled, enabled);
}

QString TVXSSettings::webServerPrivateKeyPath() const
{
    return readText(kWebServerPrivateKeyPath);
}

void TVXSSettings::setWebServerPrivateKeyPath(const QString &path)
{
    setValue(kWebServerPrivateKeyPath, path);
}

QString TVXSSettings::webServerCertificatePath() const
{
    return readText(kWebServerCertificatePath);
}

void TVXSSettings::setWebServerCertificatePath(const QString &path)
{
    setValue(kWebServerCertificatePath, path);
}

// Follow-up e-mails

bool TVXSSettings::followUpEmailEnabled() const
{
    return readBool(kFollowUpEmailEnabled, false);
}

void TVXSSettings::setFollowUpEmailEnabled(bool enabled)
{
    setValue(kFollowUpEmailEnabled, enabled);
}

int TVXSSettings::followUpEmailPeriod() const
{
    return readInt(kFollowUpEmailPeriod, 0);
}

void TVXSSettings::setFollowUpEmailPeriod(int hours)
{
    setValue(kFollowUpEmailPeriod, hours);
}

// E-mail notifications

bool TVXSSettings::emailEnabled() const
{
    return readBool(kEmailEnabled, false);
}

void TVXSSettings::setEmailEnabled(bool enabled)
{
    setValue(kEmailEnabled, enabled);
}

QString TVXSSettings::emailSmtpAddress() const
{
    return readText(kSmtpAddress);
}

void TVXSSettings::setEmailSmtpAddress(const QString &address)
{
    setValue(kSmtpAddress, address);
}

quint16 TVXSSettings::emailSmtpPort() const
{
    return readPort(kSmtpPort);
}

void TVXSSettings::setEmailSmtpPort(quint16 port)
{
    writePort(kSmtpPort, port);
}

QString TVXSSettings::emailSmtpUsername() const
{
    return readText(kSmtpUsername);
}

void TVXSSettings::setEmailSmtpUsername(const QString &username)
{
    setValue(kSmtpUsername, username);
}

QString TVXSSettings::emailSmtpPassword() const
{
    return readText(kSmtpPassword);
}

void TVXSSettings::setEmailSmtpPassword(const QString &password)
{
    setValue(kSmtpPassword, password);
}

bool TVXSSettings::emailSmtpAuthenticate() const
{
    return readBool(kSmtpAuthenticate, false);
}

void TVXSSettings::setEmailSmtpAuthenticate(bool authenticate)
{
    setValue(kSmtpAuthenticate, authenticate);
}

int TVXSSettings::emailSmtpEncryption() const
{
    return readInt(kSmtpEncryption, 0);
}

void TVXSSettings::setEmailSmtpEncryption(int encryption)
{
    setValue(kSmtpEncryption, encryption);
}

QString TVXSSettings::emailErrorFromAddress() const
{
    return readText(kErrorFromAddress);
}

void TVXSSettings::setEmailErrorFromAddress(const QString &address)
{
    setValue(kErrorFromAddress, address);
}

int TVXSSettings::emailEventLevel() const
{
    const int level = readInt(kEventLevel, 0);
    return static_cast<unsigned>(level) > 3u ? kDefaultEventLevel : level;
}

void TVXSSettings::setEmailEventLevel(int level)
{
    setValue(kEventLevel, level);
}

QStringList TVXSSettings::emailErrorToAddresses() const
{
    return readJoinedList(kErrorToAddresses);
}

void TVXSSettings::setEmailErrorToAddresses(const QStringList &addresses)
{
    writeJoinedList(kErrorToAddresses, addresses);
}

QString TVXSSettings::emailEventSubject() const
{
    return readText(kEventSubject);
}

void TVXSSettings::setEmailEventSubject(const QString &subject)
{
    setValue(kEventSubject, subject);
}

TSmtpSettings TVXSSettings::smtpSettings() const
{
    TSmtpSettings smtp;
    smtp.address = emailSmtpAddress();
    smtp.port = emailSmtpPort();
    smtp.username = emailSmtpUsername();
    smtp.password = emailSmtpPassword();
    smtp.authenticate = emailSmtpAuthenticate();
    smtp.encryption = emailSmtpEncryption();
    smtp.fromAddress = emailErrorFromAddress();
    return smtp;
}

void TVXSSettings::setSmtpSettings(const TSmtpSettings &smtp)
{
    setEmailSmtpAddress(smtp.address);
    setEmailSmtpPort(smtp.port);
    setEmailSmtpUsername(smtp.username);
    setEmailSmtpPassword(smtp.password);
    setEmailSmtpAuthenticate(smtp.authenticate);
    setEmailSmtpEncryption(smtp.encryption);
    setEmailErrorFromAddress(smtp.fromAddress);
}

TEmailEventSettings TVXSSettings::emailEventSettings() const
{
    TEmailEventSettings events;
    events.level = emailEventLevel();
    events.toAddresses = emailErrorToAddresses();
    events.subject = emailEventSubject();
    return events;
}

void TVXSSettings::setEmailEventSettings(const TEmailEventSettings &events)
{
    setEmailEventLevel(events.level);
    setEmailErrorToAddresses(events.toAddresses);
    setEmailEventSubject(events.subject);
}

// Maintenance

QTime TVXSSettings::maintenanceTime() const
{
    const QTime time = QTime::fromString(readText(kMaintenanceTime), Qt::TextDate);
    return time.isValid() ? time : kDefaultMaintenanceTime;
}

void TVXSSettings::setMaintenanceTime(const QTime &time)
{
    // Whole seconds only: "hh:mm:ss".
    setValue(kMaintenanceTime, time.toString(Qt::ISODate));
}

bool TVXSSettings::maintenanceClearOldImages() const
{
    return readBool(kMaintenanceClearOldImages, false);
}

void TVXSSettings::setMaintenanceClearOldImages(bool clear)
{
    setValue(kMaintenanceClearOldImages, clear);
}

int TVXSSettings::maintenanceDaysToKeepImages() const
{
    return readInt(kMaintenanceDaysToKeepImages, kDefaultDaysToKeepImages);
}

void TVXSSettings::setMaintenanceDaysToKeepImages(int days)
{
    setValue(kMaintenanceDaysToKeepImages, days);
}

bool TVXSSettings::devicesAutoAdd() const
{
    return readBool(kDevicesAutoAdd, true);
}

void TVXSSettings::setDevicesAutoAdd(bool autoAdd)
{
    setValue(kDevicesAutoAdd, autoAdd);
}

// Web authentication

bool TVXSSettings::webAuthAuthenticate() const
{
    return readBool(kWebAuthAuthenticate, false);
}

void TVXSSettings::setWebAuthAuthenticate(bool authenticate)
{
    setValue(kWebAuthAuthenticate, authenticate);
}

QList<TWebUser> TVXSSettings::webAuthUsers()
{
    QList<TWebUser> users;
    const QList<int> indexes = TORVSQLSettings::storedArrayIndexes(*this, kWebAuthUsers);
    beginReadArray(kWebAuthUsers);
    for (const int i : indexes) {
        setArrayIndex(i);
        const QString password = readText(QStringLiteral("password"));
        const QString username = readText(QStringLiteral("username"));
        const TWebUser user(username, password, true);
        if (user.isValid())
            users.append(user);
    }
    endArray();
    return users;
}

void TVXSSettings::setWebAuthUsers(const QList<TWebUser> &users)
{
    beginWriteArray(kWebAuthUsers);
    // Old entries would keep the password hashes of removed users in the file.
    remove(QString());
    int index = 0;
    for (const TWebUser &user : users) {
        if (!user.isValid())
            continue;
        setArrayIndex(index++);
        setValue(QStringLiteral("password"), user.password());
        setValue(QStringLiteral("username"), user.username());
    }
    endArray();
}

// Keys of the server

QString TVXSSettings::webPagePath() const
{
    return readText(kWebPagePath);
}

int TVXSSettings::createdDefaultRecoveryOptions() const
{
    return readInt(kCreatedDefaultRecoveryOptions, 0);
}

void TVXSSettings::setCreatedDefaultRecoveryOptions(int value)
{
    setValue(kCreatedDefaultRecoveryOptions, value);
}

bool TVXSSettings::hasCreatedDefaultRecoveryOptions() const
{
    return contains(kCreatedDefaultRecoveryOptions);
}

} // namespace Server
} // namespace Veltrix
