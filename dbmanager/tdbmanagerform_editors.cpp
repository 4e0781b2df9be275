#include "tdbdeviceconfigform.h"
#include "tdbdeviceform.h"
#include "tdbemailconfigform.h"
#include "tdblocationconfigform.h"
#include "tdbmanagerform.h"
#include "tvxsettingsbase.h"

namespace Veltrix {
namespace Database {

// Runs the record editor of `kind` modally on m_database, with this dialog as
// parent. The connection has been re-checked by the caller.
void TDBManagerForm::OpenEditor(EditorKind kind)
{
    switch (kind) {
    case EditorKind::Devices: {
        TDBDeviceForm editor(this, m_database.get());
        editor.exec();
        break;
    }
    case EditorKind::DeviceConfigs: {
        TDBDeviceConfigForm editor(this, m_database.get());
        editor.exec();
        break;
    }
    case EditorKind::LocationConfigs: {
        TDBLocationConfigForm editor(this, m_database.get(),
                                     m_settings ? m_settings->timezones() : QStringList());
        editor.exec();
        break;
    }
    case EditorKind::EmailConfigs: {
        TDBEmailConfigForm editor(this, m_database.get(), m_settings ? m_settings->unitsOfMeasure() : 0);
        editor.exec();
        break;
    }
    }
}

} // namespace Database
} // namespace Veltrix
