#pragma once

#include "settingslocation.h"

#include <QDir>

// Points the settings folder into `root` (<root>/ProgramData/VeltrixServer/)
// through the configuration locations. Windows has no such means: there the
// folder is C:\ProgramData\VeltrixServer\, under Wine that of the run's own
// prefix (cmake/wine-qtest.sh), and one that holds anything already is
// somebody's, which the test must not touch. False when the folder is not
// the test's own.
inline bool useOwnSettingsFolder(const QString &root)
{
#ifdef Q_OS_WIN
    Q_UNUSED(root)
    return QDir(Veltrix::Server::settingsFolder()).isEmpty();
#else
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + QStringLiteral("/ProgramData")));
    return Veltrix::Server::settingsFolder() == root + QStringLiteral("/ProgramData/VeltrixServer/");
#endif
}
