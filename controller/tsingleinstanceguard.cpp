#include "tsingleinstanceguard.h"

#include <QSharedMemory>

namespace Veltrix {
namespace Server {
namespace Controller {

namespace {

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
    : sharedMemory(new QSharedMemory(key, parent))
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
