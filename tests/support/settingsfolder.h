#pragma once

#include "settingslocation.h"

#include <QDir>

// The settings folder, pointed into `root`; empty when it is not the test's own.
// On Windows it is C:/ProgramData/VeltrixServer/ (under Wine the run's own, see
// cmake/wine-qtest.sh): not the test's if it held anything at the first call,
// emptied at each later one.
inline QString ownSettingsFolder(const QString &root)
{
    using Veltrix::Server::settingsFolder;
#ifdef Q_OS_WIN
    Q_UNUSED(root)
    static const bool own = QDir(settingsFolder()).isEmpty();
    const bool ok = own && QDir(settingsFolder()).removeRecursively();
#else
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + QStringLiteral("/ProgramData")));
    const bool ok = settingsFolder() == root + QStringLiteral("/ProgramData/VeltrixServer/");
#endif
    return ok ? settingsFolder() : QString();
}
