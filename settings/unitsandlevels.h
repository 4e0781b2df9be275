#pragma once

#include <QString>

#include <iterator>

namespace Veltrix {
namespace Server {

// A unit the server reports results in. The settings file stores its index
// ("unitsOfMeasure"), so the order is shared with the server.
struct TUnitOfMeasure
{
    const char *name;
    int decimals; // of a result limit shown in this unit
};

// clang-format off
inline constexpr TUnitOfMeasure unitOfMeasureRows[] = {
    // name        decimals  index
    {"g/100ml",       3}, // 0
    {"% BAC",         3}, // 1
    {"Promille w/w",  2}, // 2
    {"Promille w/v",  2}, // 3
    {"mg/mL",         2}, // 4
    {"g/L",           2}, // 5
    {"mg/100mL",      0}, // 6
    {"ug/L",          0}, // 7
    {"ug/100mL",      0}, // 8
    {"mg/L",          2}, // 9
    {"g/210L",        3}, // 10
    {"g/230L",        3}, // 11
};
// clang-format on
inline constexpr int unitOfMeasureCount = int(std::size(unitOfMeasureRows));

// Levels of the server's event log from which e-mails go out, by the number
// the settings file stores ("email/eventLevel").
inline constexpr const char *eventLevelNames[] = {
    QT_TRANSLATE_NOOP("EventLevel", "None"), QT_TRANSLATE_NOOP("EventLevel", "Error"),
    QT_TRANSLATE_NOOP("EventLevel", "Warning"), QT_TRANSLATE_NOOP("EventLevel", "Information")};
inline constexpr int eventLevelCount = int(std::size(eventLevelNames));

// Name of a unit by index; empty for any other index.
QString unitOfMeasureName(int index);
// Decimals of a result limit in a unit by index; 0 for any other index.
int unitOfMeasureDecimals(int index);
// Name of an event level, translated; empty for any other value.
QString eventLevelName(int level);

} // namespace Server
} // namespace Veltrix
