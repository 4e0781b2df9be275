#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace Veltrix {
namespace Server {

// One logical drive: drive ("C:"), drive with "/" ("C:/"), drive type ("3" is
// a local fixed disk).
using TDriveRecord = QStringList;
using TDriveList = QList<TDriveRecord>;

// The folder that holds the server's shared "VeltrixServer.ini", ending in
// "/". On Windows it lies under ProgramData; elsewhere a configuration
// directory whose path contains "ProgramData" is used, else
// "/var/lib/VeltrixServer/".
QString settingsFolder();

// settingsFolder() followed by "VeltrixServer.ini"; empty for an empty folder.
QString settingsFilePath();

// Logical drives of the machine as reported by the Windows drive query.
// Empty on other systems, and when the query fails or times out.
TDriveList logicalDrives();

// The pieces of the above, without any system access.

// Folder from the configuration locations: the first path that contains
// "ProgramData" (any case), cut after the last occurrence of that word,
// followed by "/VeltrixServer/". Empty when no path contains it.
QString settingsFolderFromLocations(const QStringList &locations);

// Folder on the first local fixed disk of drives, or "C:/" when there is
// none: drive + "/" + "ProgramData" + "/VeltrixServer/".
QString settingsFolderOnDrive(const TDriveList &drives);

// Parses the output of the drive query into drive records.
TDriveList parseLogicalDrives(const QString &queryOutput);

} // namespace Server
} // namespace Veltrix
