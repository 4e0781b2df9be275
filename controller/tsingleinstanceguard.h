#pragma once

#include <QString>

class QObject;
class QSharedMemory;

namespace Veltrix {
namespace Server {
namespace Controller {

// Keeps a second controller of the same user from staying up while one runs:
// the running controller holds a one-byte shared-memory segment under a fixed
// key (on Unix followed by the user's id; on Windows the key belongs to the
// user's session).
class TSingleInstanceGuard
{
public:
    TSingleInstanceGuard(const QString &key, QObject *parent);
    ~TSingleInstanceGuard();

    TSingleInstanceGuard(const TSingleInstanceGuard &) = delete;
    TSingleInstanceGuard &operator=(const TSingleInstanceGuard &) = delete;

    // True when another controller holds the segment. Otherwise this process
    // takes it and keeps it until the guard is destroyed.
    bool isAlreadyRunning();

private:
    QSharedMemory *sharedMemory;
};

} // namespace Controller
} // namespace Server
} // namespace Veltrix
