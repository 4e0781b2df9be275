#include "tdbmanagerform.h"

namespace Veltrix {
namespace Database {

// Runs the record editor of `kind` on m_database (parent: this dialog). The
// connection has been re-checked by the caller. The editors for devices,
// device configs, location configs (m_settings->timezones()) and e-mail
// configs (m_settings->unitsOfMeasure()) are not part of the program yet, so
// nothing opens.
void TDBManagerForm::OpenEditor(EditorKind kind)
{
    switch (kind) {
    case EditorKind::Devices:
    case EditorKind::DeviceConfigs:
    case EditorKind::LocationConfigs:
    case EditorKind::EmailConfigs:
        break;
    }
}

} // namespace Database
} // namespace Veltrix
