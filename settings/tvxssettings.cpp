#include "tvxssettings.h"

#include "unitsandlevels.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace Veltrix {
namespace Server {

TWebUser::TWebUser(const QString &username, const QString &password, bool alreadyHashed)
    : m_username(username),
      m_password(alreadyHashed || password.isEmpty() ? password : hashPassword(password))
{}

QString TWebUser::hashPassword(const QString &password)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(password.toLocal8Bit(), QCryptographicHash::Md5).toHex());
}

TVXSSettings::TVXSSettings(const QString &fileName) : TVXSSettings(fileName, true)
{}

TVXSSettings::TVXSSettings(const QString &fileName, bool writeDefaults)
    : QSettings(fileName, QSettings::IniFormat)
{
    readRawTextAsUtf8(*this);
    if (writeDefaults)
        createDefaults();
}

std::unique_ptr<const TVXSSettings> TVXSSettings::openReadOnly(const QString &fileName)
{
    return std::unique_ptr<const TVXSSettings>(new TVXSSettings(fileName, false));
}

bool TVXSSettings::isMissing(eSetting setting) const
{
    const QString key = settingKey(setting);
    switch (settingRow(setting).type) {
    case eSettingType::Connection:
        return !contains(key + QStringLiteral("/type"));
    case eSettingType::ConnectionList:
        // Counted by the entries present, so that a damaged size cannot leave
        // the database manager without any connection to offer.
        return TORVSQLSettings::storedArrayIndexes(const_cast<TVXSSettings &>(*this), key).isEmpty();
    default:
        return !contains(key);
    }
}

void TVXSSettings::createDefaults()
{
    // A missing first key of a group stands for a group that was never
    // written. Its defaults go in key by key, so that values already present
    // in a partly written group are not replaced by those of their neighbours.
    bool groupMissing = false;
    for (int i = 0; i < int(eSetting::Count); ++i) {
        const eSetting setting = eSetting(i);
        switch (settingRow(setting).written) {
        case eSettingDefault::Never:
            break;
        case eSettingDefault::IfMissing:
            groupMissing = isMissing(setting);
            if (groupMissing)
                writeSetting(*this, setting, writtenDefault(setting));
            break;
        case eSettingDefault::WithGroup:
            if (groupMissing && isMissing(setting))
                writeSetting(*this, setting, writtenDefault(setting));
            break;
        case eSettingDefault::Derived:
            if (!isMissing(setting))
                break;
            if (setting == eSetting::SettingsPath) {
                setSettingsPath(defaultSettingsPath(fileName()));
            } else if (setting == eSetting::ServerDatabase) {
                setServerDatabase(defaultServerDatabase(settingsPath()));
            } else if (setting == eSetting::DbList) {
                setDbList({serverDatabase()});
            }
            break;
        }
    }
}

QString TVXSSettings::defaultSettingsPath(const QString &fileName)
{
    // The server keeps its own files next to the settings file.
    return fileName.left(fileName.lastIndexOf(QLatin1Char('/')) + 1);
}

TORVSQLSettings TVXSSettings::defaultServerDatabase(const QString &settingsPath)
{
    TORVSQLSettings database;
    database.connectionName = QStringLiteral("Server Default");
    database.type = TORVSQLSettings::SQLite;
    database.databaseName = settingsPath + QStringLiteral("vxs.db");
    return database;
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

// Reading a record moves the group position of QSettings and puts it back;
// no value changes, so a const store can read records too.

TORVSQLSettingsList TVXSSettings::dbList() const
{
    return TORVSQLSettings::readList(const_cast<TVXSSettings &>(*this), settingKey(eSetting::DbList));
}

void TVXSSettings::setDbList(const TORVSQLSettingsList &list)
{
    TORVSQLSettings::writeList(*this, settingKey(eSetting::DbList), list);
}

TORVSQLSettings TVXSSettings::serverDatabase() const
{
    return TORVSQLSettings::read(const_cast<TVXSSettings &>(*this), settingKey(eSetting::ServerDatabase));
}

void TVXSSettings::setServerDatabase(const TORVSQLSettings &settings)
{
    settings.write(*this, settingKey(eSetting::ServerDatabase));
}

int TVXSSettings::emailEventLevel() const
{
    const int level = get<int>(eSetting::EmailEventLevel);
    return static_cast<unsigned>(level) >= unsigned(eventLevelCount)
               ? writtenDefault(eSetting::EmailEventLevel).toInt()
               : level;
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

QList<TWebUser> TVXSSettings::webAuthUsers()
{
    QList<TWebUser> users;
    const QString array = settingKey(eSetting::WebAuthUsers);
    const QList<int> indexes = TORVSQLSettings::storedArrayIndexes(*this, array);
    beginReadArray(array);
    for (const int i : indexes) {
        setArrayIndex(i);
        const QString password =
            parseSetting(eSettingType::Text, value(QStringLiteral("password"))).toString();
        const QString username =
            parseSetting(eSettingType::Text, value(QStringLiteral("username"))).toString();
        const TWebUser user(username, password, true);
        if (user.isValid())
            users.append(user);
    }
    endArray();
    return users;
}

void TVXSSettings::setWebAuthUsers(const QList<TWebUser> &users)
{
    beginWriteArray(settingKey(eSetting::WebAuthUsers));
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

} // namespace Server
} // namespace Veltrix
