#include "qtservicecontroller.h"

#include "tservicebackend.h"

using Veltrix::Server::serviceBackend;

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

bool QtServiceController::start()
{
    return serviceBackend().start(m_name);
}

bool QtServiceController::stop()
{
    return serviceBackend().stop(m_name);
}

bool QtServiceController::install(const QString &serviceFilePath, const QString &account,
                                  const QString &password)
{
    if (serviceFilePath.isEmpty())
        return false;
    return serviceBackend().install(QString::fromLatin1(Veltrix::Server::veltrixServiceName), serviceFilePath,
                                    account, password);
}

bool QtServiceController::uninstall()
{
    return serviceBackend().uninstall(m_name);
}
