#include "tsingleinstanceguard.h"

#include <QSharedMemory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace Veltrix {
namespace Server {
namespace Controller {

namespace {

// One controller per user: on Unix the segment's key names the user, so that
// users of one machine do not see each other's controller. On Windows a key
// without a prefix is already one of the user's session.
QString keyOfThisUser(const QString &key)
{
#ifdef Q_OS_UNIX
    return key + QLatin1Char('-') + QString::number(::getuid());
#else
    return key;
#endif
}

// On Unix a segment outlives a controller that was killed: nothing detaches
// it, and a plain attach to it would then succeed for ever. Attaching and
// detaching a probe removes such a segment (the last detach of a segment
// nobody else holds deletes it) and leaves one held by a live process alone.
void clearStaleSegment(const QString &key)
{
#ifdef Q_OS_UNIX
    QSharedMemory probe(key);
    if (probe.attach(QSharedMemory::ReadOnly))
        probe.detach();
#else
    Q_UNUSED(key)
#endif
}

} // namespace

TSingleInstanceGuard::TSingleInstanceGuard(const QString &key, QObject *parent)
    : sharedMemory(new QSharedMemory(keyOfThisUser(key), parent))
{}

TSingleInstanceGuard::~TSingleInstanceGuard()
{
    if (sharedMemory && sharedMemory->isAttached()) {
        sharedMemory->detach();
        delete sharedMemory;
        sharedMemory = nullptr;
    }
}

bool TSingleInstanceGuard::isAlreadyRunning()
{
    if (sharedMemory->isAttached())
        return false; // this process is the running controller
    clearStaleSegment(sharedMemory->key());
    if (sharedMemory->attach(QSharedMemory::ReadOnly)) {
        sharedMemory->detach();
        return true;
    }
    return !sharedMemory->create(1, QSharedMemory::ReadWrite);
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
