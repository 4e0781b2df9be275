#pragma once

#include "torvsqlsettings.h"

#include <QString>
#include <QStringList>

namespace Veltrix {

// What the database manager needs of the settings store.
class TVXSettingsBase
{
public:
    virtual ~TVXSettingsBase() = default;

    // Writes every missing key with its default.
    virtual void createDefaults() = 0;
    virtual QString settingsPath() const = 0;
    virtual int unitsOfMeasure() const = 0;
    virtual void setUnitsOfMeasure(int units) = 0;
    virtual QStringList timezones() const = 0;
    virtual void setTimezones(const QStringList &zones) = 0;
    virtual TORVSQLSettingsList dbList() const = 0;
    virtual void setDbList(const TORVSQLSettingsList &list) = 0;
    virtual TORVSQLSettings serverDatabase() const = 0;
    virtual void setServerDatabase(const TORVSQLSettings &settings) = 0;

    // Writes pending changes to the file. False when the file could not be
    // written (no rights, read-only file, missing folder): nothing was saved.
    virtual bool writeToDisk() = 0;
    // The file behind the store, for messages.
    virtual QString settingsFileName() const = 0;
};

} // namespace Veltrix
