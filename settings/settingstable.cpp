#include "settingstable.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTextCodec>
#include <QTime>

#include <iterator>

namespace Veltrix {
namespace Server {

namespace {

using E = eSetting;
using T = eSettingType;
using W = eSettingDefault;

// Placeholders written into a new file; the administrator replaces them in the
// server configuration dialog.
constexpr char defaultSender[] = "veltrix.alerts@example.com";
constexpr char defaultRecipients[] = "admin@example.com,operator@example.org";
constexpr char defaultTimezones[] =
    "Australia/Adelaide,Australia/Brisbane,Australia/Broken_Hill,Australia/Currie,Australia/Darwin,"
    "Australia/Hobart,Australia/Lindeman,Australia/Melbourne,Australia/Perth,Australia/Sydney,"
    "Pacific/Auckland";

// The keys of "VeltrixServer.ini". The server reads the same names and forms.
// clang-format off
constexpr TSettingRow settingRows[] = {
    //                                 key                              type               read        written       written default
    {E::DevicePort,                    "devicePort",                    T::Port,           "0",        W::IfMissing, "26001"},
    {E::DeviceServerEncrypted,         "deviceServerEncrypted",         T::Bool,           "false",    W::IfMissing, "false"},
    {E::DeviceServerPrivateKeyPath,    "deviceServerPrivateKeyPath",    T::Text,           "",         W::IfMissing, ""},
    {E::DeviceServerCertificatePath,   "deviceServerCertificatePath",   T::Text,           "",         W::IfMissing, ""},
    {E::DeviceServerSharedKey,         "deviceServerSharedKey",         T::Text,           "",         W::IfMissing, ""},
    {E::WebServerPort,                 "webServerPort",                 T::Port,           "0",        W::IfMissing, "80"},
    {E::WebServerEncryptedPort,        "webServerEncryptedPort",        T::Port,           "0",        W::IfMissing, "443"},
    {E::WebServerEnabled,              "webServerEnabled",              T::Bool,           "false",    W::IfMissing, "false"},
    {E::WebServerEncryptedEnabled,     "webServerEncryptedEnabled",     T::Bool,           "false",    W::IfMissing, "false"},
    {E::WebServerPrivateKeyPath,       "webServerPrivateKeyPath",       T::Text,           "",         W::IfMissing, ""},
    {E::WebServerCertificatePath,      "webServerCertificatePath",      T::Text,           "",         W::IfMissing, ""},
    // Written: the folder of the file, with its trailing "/".
    {E::SettingsPath,                  "settingsPath",                  T::Text,           "",         W::Derived,   ""},
    {E::EmailEnabled,                  "email/enabled",                 T::Bool,           "false",    W::IfMissing, "false"},
    {E::UnitsOfMeasure,                "unitsOfMeasure",                T::Int,            "0",        W::IfMissing, "0"},
    {E::FollowUpEmailEnabled,          "followUpEmailEnabled",          T::Bool,           "false",    W::IfMissing, "false"},
    {E::FollowUpEmailPeriod,           "followUpEmailPeriod",           T::Int,            "0",        W::IfMissing, "2"},
    // Written: the SQLite connection "Server Default" to "vxs.db" in settingsPath.
    {E::ServerDatabase,                "db",                            T::Connection,     "",         W::Derived,   ""},
    // Written: a list of the "db" record.
    {E::DbList,                        "dbList",                        T::ConnectionList, "",         W::Derived,   ""},
    {E::EmailSmtpAddress,              "email/smtpAddress",             T::Text,           "",         W::IfMissing, "smtp.example.com"},
    {E::EmailSmtpPort,                 "email/smtpPort",                T::Port,           "0",        W::WithGroup, "465"},
    {E::EmailSmtpUsername,             "email/smtpUsername",            T::Text,           "",         W::WithGroup, defaultSender},
    {E::EmailSmtpPassword,             "email/smtpPassword",            T::Text,           "",         W::WithGroup, "Qwerty45678"},
    {E::EmailSmtpAuthenticate,         "email/smtpAuthenticate",        T::Bool,           "false",    W::WithGroup, "true"},
    {E::EmailSmtpEncryption,           "email/smtpEncryption",          T::Int,            "0",        W::WithGroup, "1"},
    {E::EmailErrorFromAddress,         "email/errorFromAddress",        T::Text,           "",         W::WithGroup, defaultSender},
    {E::EmailEventLevel,               "email/eventLevel",              T::Int,            "0",        W::IfMissing, "2"},
    {E::EmailErrorToAddresses,         "email/errorToAddresses",        T::TextList,       "",         W::WithGroup, defaultRecipients},
    {E::EmailEventSubject,             "email/eventSubject",            T::Text,           "",         W::WithGroup, ""},
    {E::Timezones,                     "timezones",                     T::TextList,       "",         W::IfMissing, defaultTimezones},
    {E::MaintenanceTime,               "maintenance/time",              T::Time,           "03:00:00", W::IfMissing, "03:00:00"},
    {E::MaintenanceClearOldImages,     "maintenance/clearOldImages",    T::Bool,           "false",    W::IfMissing, "false"},
    {E::MaintenanceDaysToKeepImages,   "maintenance/daysToKeepImages",  T::Int,            "30",       W::IfMissing, "30"},
    {E::DevicesAutoAdd,                "devices/autoAdd",               T::Bool,           "true",     W::IfMissing, "true"},
    {E::WebAuthAuthenticate,           "webAuth/authenticate",          T::Bool,           "false",    W::IfMissing, "false"},
    {E::WebAuthUsers,                  "webAuth/Users",                 T::UserList,       "",         W::Never,     ""},
    // Read and written by the server only.
    {E::WebPagePath,                   "webPagePath",                   T::Text,           "",         W::Never,     ""},
    {E::CreatedDefaultRecoveryOptions, "createdDefaultRecoveryOptions", T::Int,            "0",        W::Never,     ""},
    // The tray window's own: the web page's port (80 when absent), and the install entries.
    {E::TrayWebServerPort,             "webServerPort",                 T::Port,           "80",       W::Never,     ""},
    {E::ServiceFilePath,               "serviceFilePath",               T::Text,           "",         W::Never,     ""},
    {E::AllowInstalling,               "allowInstalling",               T::Bool,           "false",    W::Never,     ""},
};
// clang-format on

constexpr bool rowsInEnumOrder()
{
    for (int i = 0; i < int(std::size(settingRows)); ++i) {
        if (settingRows[i].id != eSetting(i))
            return false;
    }
    return int(std::size(settingRows)) == int(eSetting::Count);
}
static_assert(rowsInEnumOrder(), "one row per eSetting, in its order");

// A stored text. An unquoted text with commas, as a hand-edited file may hold,
// comes back from QSettings as a list; keep it as the text that was written.
QString storedText(const QVariant &stored)
{
    if (stored.type() == QVariant::StringList)
        return stored.toStringList().join(QLatin1Char(','));
    return stored.toString();
}

QVariant parseInt(const QVariant &stored)
{
    if (stored.type() == QVariant::Bool)
        return QVariant();
    bool ok = false;
    const int number = stored.toInt(&ok);
    return ok ? QVariant(number) : QVariant();
}

} // namespace

const TSettingRow &settingRow(eSetting setting)
{
    return settingRows[int(setting)];
}

QString settingKey(eSetting setting)
{
    return QString::fromLatin1(settingRow(setting).key);
}

QVariant parseSetting(eSettingType type, const QVariant &stored)
{
    if (!stored.isValid())
        return QVariant();
    switch (type) {
    case eSettingType::Port: {
        // A larger number keeps its low 16 bits, as the server's own
        // conversion does; a negative one cannot be read.
        const QVariant number = parseInt(stored);
        if (!number.isValid() || number.toInt() < 0)
            return QVariant();
        return QVariant::fromValue(static_cast<quint16>(number.toInt() & 0xFFFF));
    }
    case eSettingType::Bool:
        // As the server reads it through Qt: only an empty text, "0" and
        // "false" (any case) are false; "yes", "on" and "2" are true.
        return stored.toBool();
    case eSettingType::Int:
        return parseInt(stored);
    case eSettingType::Text:
        return storedText(stored);
    case eSettingType::TextList:
        return storedText(stored).split(QLatin1Char(','), Qt::KeepEmptyParts, Qt::CaseSensitive);
    case eSettingType::Time: {
        const QTime time = QTime::fromString(storedText(stored), Qt::TextDate);
        return time.isValid() ? QVariant(time) : QVariant();
    }
    case eSettingType::Connection:
    case eSettingType::ConnectionList:
    case eSettingType::UserList:
        break;
    }
    return QVariant();
}

void readRawTextAsUtf8(QSettings &file)
{
    QFile raw(file.fileName());
    if (!raw.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = raw.readAll();
    QTextCodec *const utf8 = QTextCodec::codecForName("UTF-8");
    QTextCodec::ConverterState state;
    utf8->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars != 0 || state.remainingChars != 0)
        return;
    // QSettings decodes a section when it is first read, with the codec set
    // then, and writes every value with the codec set at the time of writing.
    // So every section is decoded now, and the codec is taken away again. Qt
    // itself picks UTF-8 for a file that starts with a byte order mark, and
    // would write raw UTF-8 without the mark, which other readers then take
    // for Latin-1; such a file is written escaped too.
    file.setIniCodec(utf8);
    file.allKeys();
    file.setIniCodec(static_cast<QTextCodec *>(nullptr));
}

QVariant readSetting(const QSettings &file, eSetting setting)
{
    const TSettingRow &row = settingRow(setting);
    const QVariant value = parseSetting(row.type, file.value(QString::fromLatin1(row.key)));
    return value.isValid() ? value : parseSetting(row.type, QString::fromLatin1(row.readDefault));
}

QVariant writtenDefault(eSetting setting)
{
    const TSettingRow &row = settingRow(setting);
    return parseSetting(row.type, QString::fromLatin1(row.writtenDefault));
}

void writeSetting(QSettings &file, eSetting setting, const QVariant &value)
{
    const TSettingRow &row = settingRow(setting);
    const QString key = QString::fromLatin1(row.key);
    switch (row.type) {
    case eSettingType::Port:
        file.setValue(key, value.toInt() & 0xFFFF);
        break;
    case eSettingType::Bool:
        file.setValue(key, value.toBool());
        break;
    case eSettingType::Int:
        file.setValue(key, value.toInt());
        break;
    case eSettingType::Text:
        file.setValue(key, value.toString());
        break;
    case eSettingType::TextList:
        file.setValue(key, value.toStringList().join(QLatin1Char(',')));
        break;
    case eSettingType::Time:
        // Whole seconds only: "hh:mm:ss".
        file.setValue(key, value.toTime().toString(Qt::ISODate));
        break;
    case eSettingType::Connection:
    case eSettingType::ConnectionList:
    case eSettingType::UserList:
        // Records: TVXSSettings writes them field by field.
        break;
    }
}

} // namespace Server
} // namespace Veltrix
