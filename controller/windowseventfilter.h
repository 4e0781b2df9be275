#pragma once

#include <QAbstractNativeEventFilter>

class QMenu;

namespace Veltrix {
namespace Server {
namespace Controller {

// The window-close and quit messages Windows sends to end a program.
constexpr unsigned int windowsCloseMessage = 0x0010; // WM_CLOSE
constexpr unsigned int windowsQuitMessage = 0x0012;  // WM_QUIT

// Whether a native window message ends the controller: a close or quit
// message, while the filter is enabled (no dialog open) and the tray menu's
// torn-off copy is not on screen.
bool windowsMessageEndsProgram(unsigned int message, bool enabled, bool tearOffMenuVisible);

// Lets Windows end the controller with WM_CLOSE or WM_QUIT (a logoff, an
// installer, the task manager). Does nothing on other systems.
class WindowsEventFilter : public QAbstractNativeEventFilter
{
public:
    explicit WindowsEventFilter(QMenu *trayMenu);
    ~WindowsEventFilter() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

    // False while one of the tray window's dialogs is open.
    bool enabled = true;
    // The tray icon's context menu (not owned).
    QMenu *trayMenu = nullptr;
};

} // namespace Controller
} // namespace Server
} // namespace Veltrix
