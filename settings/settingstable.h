#pragma once

#include <QString>
#include <QVariant>

class QSettings;

namespace Veltrix {
namespace Server {

// Every key of the settings file that this program knows. The rows of
// settingstable.cpp follow this order, which is the order in which
// TVXSSettings::createDefaults() writes the missing keys.
enum class eSetting
{
    DevicePort,
    DeviceServerEncrypted,
    DeviceServerPrivateKeyPath,
    DeviceServerCertificatePath,
    DeviceServerSharedKey,
    WebServerPort,
    WebServerEncryptedPort,
    WebServerEnabled,
    WebServerEncryptedEnabled,
    WebServerPrivateKeyPath,
    WebServerCertificatePath,
    SettingsPath,
    EmailEnabled,
    UnitsOfMeasure,
    FollowUpEmailEnabled,
    FollowUpEmailPeriod,
    ServerDatabase,
    DbList,
    EmailSmtpAddress,
    EmailSmtpPort,
    EmailSmtpUsername,
    EmailSmtpPassword,
    EmailSmtpAuthenticate,
    EmailSmtpEncryption,
    EmailErrorFromAddress,
    EmailEventLevel,
    EmailErrorToAddresses,
    EmailEventSubject,
    Timezones,
    MaintenanceTime,
    MaintenanceClearOldImages,
    MaintenanceDaysToKeepImages,
    DevicesAutoAdd,
    WebAuthAuthenticate,
    WebAuthUsers,
    WebPagePath,
    CreatedDefaultRecoveryOptions,
    TrayWebServerPort,
    ServiceFilePath,
    AllowInstalling,
    Count
};

// How a value is stored in the file, and what a read gives.
enum class eSettingType
{
    Port,           // quint16; stored as a number, masked to 16 bits
    Bool,           // bool, read as QVariant::toBool() reads the stored text
    Int,            // int
    Text,           // QString
    TextList,       // QStringList; stored as one text joined by ","
    Time,           // QTime; stored as "hh:mm:ss"
    Connection,     // a TORVSQLSettings record in a group
    ConnectionList, // an array of TORVSQLSettings records
    UserList        // an array of web users
};

// When TVXSSettings::createDefaults() writes a key that the file lacks.
enum class eSettingDefault
{
    Never,     // never: the key is left absent
    IfMissing, // the written default
    WithGroup, // the written default, only if the nearest IfMissing row above
               // (the first key of the group) was missing too
    Derived    // a value made from the file's own location (see createDefaults())
};

struct TSettingRow
{
    eSetting id;
    const char *key;
    eSettingType type;
    const char *readDefault; // in the stored text form
    eSettingDefault written;
    const char *writtenDefault; // in the stored text form
};

const TSettingRow &settingRow(eSetting setting);
QString settingKey(eSetting setting);

// The value of `stored` as `type` reads it; invalid when it cannot be read
// (absent, or text where a number belongs).
QVariant parseSetting(eSettingType type, const QVariant &stored);
// Makes `file` read the values that a person wrote into it as raw UTF-8 text
// ("/srv/kassé.db") as UTF-8 instead of Latin-1; call it right after opening
// the file. What the program writes has the form Qt gives it without a
// codec, also in a file that starts with a UTF-8 byte order mark: text outside
// ASCII escaped as "\xe9", which the server reads. A file
// that is not valid UTF-8 (another 8-bit encoding) is read as Latin-1, as Qt
// reads it without a codec.
void readRawTextAsUtf8(QSettings &file);
// A scalar setting of `file` in its type (see eSettingType); its read default
// when the key is absent or its value cannot be read.
QVariant readSetting(const QSettings &file, eSetting setting);
// The setting's written default, in its type.
QVariant writtenDefault(eSetting setting);
// Stores `value` (of the setting's type) in the setting's stored form.
void writeSetting(QSettings &file, eSetting setting, const QVariant &value);

} // namespace Server
} // namespace Veltrix
