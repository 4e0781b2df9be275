#include "torvsqlsettings.h"

#include <QDir>
#include <QSettings>

#include <algorithm>
#include <atomic>

namespace {

const char *const storageNames[] = {"SQLite", "MSSqlServer", "Unknown"};
const char *const displayNames[] = {"SQLite", "Microsoft SQL Server", "Unknown"};
constexpr int typeCount = 3;

// Largest suffix ever appended to a Qt connection name; the counter wraps to 0 after it.
constexpr int maxConnectionSuffix = 999999;

std::atomic<int> g_connectionCounter{0};

QString tableEntry(const char *const (&table)[typeCount], int type)
{
    if (type < 0 || type >= typeCount)
        return QString();
    return QString::fromLatin1(table[type]);
}

} // namespace

QString TORVSQLSettings::storageTypeName(int type)
{
    return tableEntry(storageNames, type);
}

QString TORVSQLSettings::displayTypeName(int type)
{
    return tableEntry(displayNames, type);
}

QStringList TORVSQLSettings::storageTypeNames()
{
    QStringList names;
    for (int i = 0; i < typeCount; ++i)
        names << storageTypeName(i);
    return names;
}

QStringList TORVSQLSettings::displayTypeNames()
{
    QStringList names;
    for (int i = 0; i < typeCount; ++i)
        names << displayTypeName(i);
    return names;
}

TORVSQLSettings::Type TORVSQLSettings::typeFromString(const QString &text)
{
    Type result = Unknown;
    for (int i = 0; i < typeCount; ++i) {
        if (text.contains(QLatin1String(storageNames[i]), Qt::CaseInsensitive))
            result = static_cast<Type>(i);
    }
    return result;
}

QString TORVSQLSettings::displayName() const
{
    return connectionName + QStringLiteral(" (") + displayTypeName(type) + QStringLiteral(")");
}

bool TORVSQLSettings::isValid() const
{
    return (type == SQLite || type == MSSqlServer) && !connectionName.isEmpty() && !databaseName.isEmpty();
}

TORVSQLSettings TORVSQLSettings::read(QSettings &settings, const QString &group)
{
    if (!group.isEmpty())
        settings.beginGroup(group);

    TORVSQLSettings record;
    record.connectionName =
        settings.value(QStringLiteral("connectionName"), QStringLiteral("Default")).toString();
    record.type = typeFromString(settings.value(QStringLiteral("type")).toString());
    record.address = settings.value(QStringLiteral("address")).toString();
    bool ok = false;
    const int port = settings.value(QStringLiteral("port")).toInt(&ok);
    record.port = ok ? port : 0;
    record.databaseName = settings.value(QStringLiteral("databaseName")).toString();
    record.userName = settings.value(QStringLiteral("userName")).toString();
    record.password = settings.value(QStringLiteral("password")).toString();

    if (!group.isEmpty())
        settings.endGroup();
    return record;
}

void TORVSQLSettings::write(QSettings &settings, const QString &group) const
{
    if (!group.isEmpty())
        settings.beginGroup(group);

    settings.setValue(QStringLiteral("connectionName"), connectionName);
    settings.setValue(QStringLiteral("type"), storageTypeName(type));
    settings.setValue(QStringLiteral("address"), address);
    settings.setValue(QStringLiteral("port"), port);
    settings.setValue(QStringLiteral("databaseName"), databaseName);
    settings.setValue(QStringLiteral("userName"), userName);
    settings.setValue(QStringLiteral("password"), password);

    if (!group.isEmpty())
        settings.endGroup();
}

TORVSQLSettingsList TORVSQLSettings::readList(QSettings &settings, const QString &arrayName)
{
    TORVSQLSettingsList list;
    if (arrayName.isEmpty())
        return list;

    const QList<int> indexes = storedArrayIndexes(settings, arrayName);
    settings.beginReadArray(arrayName);
    for (const int i : indexes) {
        settings.setArrayIndex(i);
        list.append(read(settings, QString()));
    }
    settings.endArray();
    return list;
}

void TORVSQLSettings::writeList(QSettings &settings, const QString &arrayName,
                                const TORVSQLSettingsList &list)
{
    if (arrayName.isEmpty())
        return;

    settings.beginWriteArray(arrayName);
    // Drop every entry of the old array so that a shorter list leaves nothing stale.
    settings.remove(QString());
    for (int i = 0; i < list.size(); ++i) {
        settings.setArrayIndex(i);
        list.at(i).write(settings, QString());
    }
    settings.endArray();
}

QList<int> TORVSQLSettings::storedArrayIndexes(QSettings &settings, const QString &arrayName)
{
    QList<int> indexes;
    if (arrayName.isEmpty())
        return indexes;

    settings.beginGroup(arrayName);
    bool ok = false;
    const int size = settings.value(QStringLiteral("size")).toInt(&ok);
    if (ok && size > 0) {
        // Entries are stored 1-based as subgroups "1", "2", ...
        const QStringList entries = settings.childGroups();
        for (const QString &entry : entries) {
            bool isNumber = false;
            const int number = entry.toInt(&isNumber);
            if (isNumber && number >= 1 && number <= size && entry == QString::number(number))
                indexes.append(number - 1);
        }
    }
    settings.endGroup();
    std::sort(indexes.begin(), indexes.end());
    return indexes;
}

int TORVSQLSettings::indexOfName(const TORVSQLSettingsList &list, const QString &name)
{
    const QString wanted = name.toUpper();
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).connectionName.toUpper() == wanted)
            return i;
    }
    return -1;
}

void TORVSQLSettings::sortByName(TORVSQLSettingsList &list, bool ascending)
{
    std::sort(list.begin(), list.end(), [ascending](const TORVSQLSettings &a, const TORVSQLSettings &b) {
        return ascending ? a.connectionName < b.connectionName : b.connectionName < a.connectionName;
    });
}

QString TORVSQLSettings::nextQtConnectionName(const QString &connectionName)
{
    int current = g_connectionCounter.load(std::memory_order_relaxed);
    int next = 0;
    do {
        next = current >= maxConnectionSuffix ? 0 : current + 1;
    } while (!g_connectionCounter.compare_exchange_weak(current, next, std::memory_order_relaxed));

    const QString stem = connectionName.isEmpty() ? QStringLiteral("TORVSQL") : connectionName;
    return stem + QString::number(current);
}

bool TORVSQLSettings::operator==(const TORVSQLSettings &other) const
{
    // An SQLite file named with the other separator is the same file
    // ("C:\\db\\vxs.db" as typed, "C:/db/vxs.db" from the file dialog).
    const bool sameDatabase = type == SQLite ? QDir::fromNativeSeparators(databaseName) ==
                                                   QDir::fromNativeSeparators(other.databaseName)
                                             : databaseName == other.databaseName;
    return type == other.type && connectionName == other.connectionName && address == other.address &&
           port == other.port && sameDatabase && userName == other.userName && password == other.password;
}
