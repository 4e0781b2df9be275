#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QSettings;

class TORVSQLSettings;
using TORVSQLSettingsList = QList<TORVSQLSettings>;

// One database connection: which back end, where it is, which database and
// which credentials. A plain value, copied freely. Its INI form (a group, or
// one entry of an array) is read by the server too and must not change.
class TORVSQLSettings
{
public:
    // The stored values are part of the file format: 0, 1, 2.
    enum Type : qint32
    {
        SQLite = 0,
        MSSqlServer = 1,
        Unknown = 2
    };

    Type type = Unknown;
    QString connectionName;
    QString address;
    int port = 0;
    QString databaseName;
    QString userName;
    QString password;

    // Name tables indexed by the type value; empty for a value outside 0..2.
    static QString storageTypeName(int type);
    static QString displayTypeName(int type);
    static QStringList storageTypeNames();
    static QStringList displayTypeNames();
    // Last storage name found anywhere in the text (any case) wins; Unknown otherwise.
    static Type typeFromString(const QString &text);

    // connectionName + " (" + display type name + ")"
    QString displayName() const;
    // type SQLite or MSSqlServer, a connection name and a database name.
    bool isValid() const;

    // Reads/writes one record inside `group` (none when empty).
    static TORVSQLSettings read(QSettings &settings, const QString &group);
    void write(QSettings &settings, const QString &group) const;

    // Reads/writes the array `arrayName`; writing drops every stale entry first.
    // Reading visits the entries of storedArrayIndexes().
    static TORVSQLSettingsList readList(QSettings &settings, const QString &arrayName);
    static void writeList(QSettings &settings, const QString &arrayName, const TORVSQLSettingsList &list);

    // The array indexes (0-based, ascending) of `arrayName` at the current
    // group level that a reader should visit: those within the stored "size"
    // for which the file holds an entry. A missing, negative or unreadable size
    // gives none. A damaged size thus cannot make a reader loop over millions
    // of phantom entries.
    static QList<int> storedArrayIndexes(QSettings &settings, const QString &arrayName);

    // Index of the first record whose name equals `name` ignoring case, or -1.
    static int indexOfName(const TORVSQLSettingsList &list, const QString &name);
    static void sortByName(TORVSQLSettingsList &list, bool ascending = true);

    // The Qt SQL connection name for a record: its connection name (or
    // "TORVSQL") followed by a process-wide counter that wraps after 999999.
    // Safe to call from several threads at once.
    static QString nextQtConnectionName(const QString &connectionName);

    bool operator==(const TORVSQLSettings &other) const;
    bool operator!=(const TORVSQLSettings &other) const { return !(*this == other); }
};
