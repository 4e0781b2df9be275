#include "windowseventfilter.h"

#include <QCoreApplication>
#include <QMenu>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace Veltrix {
namespace Server {
namespace Controller {

bool windowsMessageEndsProgram(unsigned int message, bool enabled, bool tearOffMenuVisible)
{
    const bool closeOrQuit = message == windowsCloseMessage || message == windowsQuitMessage;
    return closeOrQuit && enabled && !tearOffMenuVisible;
}

WindowsEventFilter::WindowsEventFilter(QMenu *menu) : trayMenu(menu)
{}

WindowsEventFilter::~WindowsEventFilter() = default;

bool WindowsEventFilter::nativeEventFilter(const QByteArray &eventType, void *message, long *result)
{
    Q_UNUSED(eventType)
    Q_UNUSED(result)
#ifdef Q_OS_WIN
    const MSG *msg = static_cast<const MSG *>(message);
    const bool tearOffVisible = trayMenu && trayMenu->isTearOffMenuVisible();
    if (msg && windowsMessageEndsProgram(msg->message, enabled, tearOffVisible)) {
        QCoreApplication::quit();
        return true;
    }
#else
    Q_UNUSED(message)
#endif
    return false;
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
