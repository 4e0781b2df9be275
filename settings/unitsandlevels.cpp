#include "unitsandlevels.h"

#include <QCoreApplication>

namespace Veltrix {
namespace Server {

QString unitOfMeasureName(int index)
{
    if (index < 0 || index >= unitOfMeasureCount)
        return QString();
    return QString::fromLatin1(unitOfMeasureRows[index].name);
}

int unitOfMeasureDecimals(int index)
{
    return index >= 0 && index < unitOfMeasureCount ? unitOfMeasureRows[index].decimals : 0;
}

QString eventLevelName(int level)
{
    if (level < 0 || level >= eventLevelCount)
        return QString();
    return QCoreApplication::translate("EventLevel", eventLevelNames[level]);
}

} // namespace Server
} // namespace Veltrix
