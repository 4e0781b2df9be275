#include "unitsandlevels.h"

namespace Veltrix {
namespace Server {

QString unitOfMeasureName(int index)
{
    if (index < 0 || index >= kUnitOfMeasureCount)
        return QString();
    return QString::fromLatin1(kUnitsOfMeasure[index].name);
}

int unitOfMeasureDecimals(int index)
{
    return index >= 0 && index < kUnitOfMeasureCount ? kUnitsOfMeasure[index].decimals : 0;
}

QString eventLevelName(int level)
{
    if (level < 0 || level >= kEventLevelCount)
        return QString();
    return QString::fromLatin1(kEventLevelNames[level]);
}

} // namespace Server
} // namespace Veltrix
