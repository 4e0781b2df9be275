#pragma once

#include <QString>

namespace Veltrix {
namespace Server {

// The outcome of a request to the service manager: accepted, or refused with
// the reason the manager gave (the system's message; empty when it gave none).
struct TServiceResult
{
    bool ok = false;
    QString reason;

    static TServiceResult success() { return {true, QString()}; }
    static TServiceResult failure(const QString &reason = QString()) { return {false, reason}; }
};

} // namespace Server
} // namespace Veltrix
