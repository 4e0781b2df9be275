#pragma once

#include "settingslocation.h"

#include <QDir>

// Points the settings folder into `root` (<root>/ProgramData/VeltrixServer/,
// through the configuration locations) and returns it; empty when it is not
// the test's own. Windows has no such means: there it is
// C:/ProgramData/VeltrixServer/, under Wine that of the run's own prefix
// (cmake/wine-qtest.sh). One that held anything at the first call is somebody
// else's and is never touched; at a later call it is emptied of what earlier
// cases left, as a new `root` is on Linux.
inline QString ownSettingsFolder(const QString &root)
{
#ifdef Q_OS_WIN
    Q_UNUSED(root)
    const QString folder = Veltrix::Server::settingsFolder();
    static const bool own = QDir(folder).isEmpty();
    return own && QDir(folder).removeRecursively() ? folder : QString();
#else
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + QStringLiteral("/ProgramData")));
    const QString folder = root + QStringLiteral("/ProgramData/VeltrixServer/");
    return Veltrix::Server::settingsFolder() == folder ? folder : QString();
#endif
}
