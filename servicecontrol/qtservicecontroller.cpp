#include "qtservicecontroller.h"

#include "tservicebackend.h"

#include <QCoreApplication>

using Veltrix::Server::serviceBackend;
using Veltrix::Server::TServiceResult;

QtServiceController::QtServiceController(const QString &name) : m_name(name)
{}

QtServiceController::~QtServiceController() = default;

QString QtServiceController::serviceName() const
{
    return m_name;
}

bool QtServiceController::isInstalled() const
{
    return serviceBackend().isInstalled(m_name);
}

bool QtServiceController::isRunning() const
{
    return serviceBackend().isRunning(m_name);
}

TServiceResult QtServiceController::start()
{
    return serviceBackend().start(m_name);
}

TServiceResult QtServiceController::stop()
{
    return serviceBackend().stop(m_name);
}

TServiceResult QtServiceController::install(const QString &serviceFilePath, const QString &account,
                                            const QString &password)
{
    if (serviceFilePath.isEmpty())
        return TServiceResult::failure(
            QCoreApplication::translate("QtServiceController", "No service executable given"));
    return serviceBackend().install(QString::fromLatin1(Veltrix::Server::veltrixServiceName), serviceFilePath,
                                    account, password);
}

TServiceResult QtServiceController::uninstall()
{
    return serviceBackend().uninstall(m_name);
}
