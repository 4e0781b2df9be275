#include "settingslocation.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace Veltrix {
namespace Server {

namespace {

const QString &programDataWord()
{
    static const QString word = QStringLiteral("ProgramData");
    return word;
}

const QString &serverFolderSuffix()
{
    static const QString suffix = QStringLiteral("/VeltrixServer/");
    return suffix;
}

} // namespace

QString settingsFolderFromLocations(const QStringList &locations)
{
    for (const QString &path : locations) {
        const int at = path.lastIndexOf(programDataWord(), -1, Qt::CaseInsensitive);
        if (at >= 0)
            return path.left(at + programDataWord().size()) + serverFolderSuffix();
    }
    return QString();
}

QString settingsFolderOnDrive(const TDriveList &drives)
{
    QString drive = QStringLiteral("C:/");
    for (const TDriveRecord &record : drives) {
        if (record.size() >= 3 && record.at(2) == QLatin1String("3")) {
            drive = record.at(1);
            break;
        }
    }
    return drive + QLatin1Char('/') + programDataWord() + serverFolderSuffix();
}

TDriveList parseLogicalDrives(const QString &queryOutput)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s"));
    TDriveList drives;
    const QString text = queryOutput.left(queryOutput.indexOf(QChar(0)) >= 0 ? queryOutput.indexOf(QChar(0))
                                                                             : queryOutput.size());
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.size() <= 1 || line.at(1) != QLatin1Char(':'))
            continue;
        QStringList fields = line.trimmed().split(whiteSpace, Qt::SkipEmptyParts);
        if (fields.size() < 2)
            continue;
        fields = fields.mid(0, 2);
        fields.insert(1, fields.at(0) + QLatin1Char('/'));
        drives.append(fields);
    }
    return drives;
}

TDriveList logicalDrives()
{
#ifdef Q_OS_WIN
    QProcess query;
    query.start(QStringLiteral("cmd"),
                {QStringLiteral("/C"), QStringLiteral("echo"), QStringLiteral("logicaldisk"),
                 QStringLiteral("get"), QStringLiteral("caption,providername,drivetype,volumename"),
                 QStringLiteral("|"), QStringLiteral("wmic")},
                QIODevice::ReadWrite);
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return TDriveList();
    }
    return parseLogicalDrives(QString::fromLocal8Bit(query.readAllStandardOutput()));
#else
    return TDriveList();
#endif
}

QString settingsFolder()
{
    const QString fromLocations =
        settingsFolderFromLocations(QStandardPaths::standardLocations(QStandardPaths::ConfigLocation));
    if (!fromLocations.isEmpty())
        return fromLocations;
#ifdef Q_OS_WIN
    return settingsFolderOnDrive(logicalDrives());
#else
    return QStringLiteral("/var/lib/VeltrixServer/");
#endif
}

QString settingsFilePath()
{
    const QString folder = settingsFolder();
    if (folder.isEmpty())
        return QString();
    return folder + QStringLiteral("VeltrixServer.ini");
}

} // namespace Server
} // namespace Veltrix
