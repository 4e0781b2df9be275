#include "dialoglaunchers.h"

#include "settingslocation.h"
#include "tdbmanagerform.h"
#include "tvxssettings.h"

#include <QPixmap>

namespace Veltrix {
namespace Server {
namespace Controller {

bool runDatabaseManager()
{
    // Created for this run only; the constructor writes missing defaults.
    TVXSSettings settings(settingsFilePath());
    Database::TVXSDBManagerForm form(nullptr, &settings);
    form.SetBanner(QPixmap(QStringLiteral(":/resources/VeltrixLogo.png")));
    form.exec();
    return form.connectionChanged();
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
