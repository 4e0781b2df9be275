#include "titembase.h"

#include <QLocale>

namespace Veltrix {
namespace Database {

namespace {
// The width of the result limit columns (VARCHAR(10)).
constexpr int limitTextWidth = 10;
} // namespace

TItemBase::TItemBase(qint64 id, const QString &name) : m_id(id), m_name(name)
{}

TItemBase::~TItemBase() = default;

qint64 TItemBase::id() const
{
    return m_id;
}

void TItemBase::setId(qint64 id)
{
    m_id = id;
}

QString TItemBase::name() const
{
    return m_name;
}

void TItemBase::setName(const QString &name)
{
    m_name = name;
}

QString TItemBase::listSql() const
{
    return QStringLiteral("SELECT ") + idColumn() + QStringLiteral(", ") + nameColumn() +
           QStringLiteral(" FROM ") + tableName() + QStringLiteral(" ORDER BY ") + nameColumn() +
           QStringLiteral(";");
}

QString TItemBase::selectAllSql() const
{
    return QStringLiteral("SELECT * FROM ") + tableName() + QStringLiteral(" ORDER BY ") + nameColumn() +
           QStringLiteral(";");
}

QString TItemBase::selectByIdSql(qint64 id) const
{
    return QStringLiteral("SELECT * FROM ") + tableName() + QStringLiteral(" WHERE ") + idColumn() +
           QStringLiteral(" = ") + QString::number(id) + QStringLiteral(";");
}

QString TItemBase::selectByNameSql(const QString &value) const
{
    return QStringLiteral("SELECT * FROM ") + tableName() + QStringLiteral(" WHERE ") + nameColumn() +
           QStringLiteral(" = ") + value + QStringLiteral(";");
}

QString TItemBase::mapValue(const TItemMap &map, const QString &key, const QString &defaultValue)
{
    return map.value(key.toLower(), defaultValue);
}

qint64 TItemBase::mapKey(const TItemMap &map, const QString &key)
{
    // A NULL key column reads as an empty text: it names no row, like a
    // missing one, so that a record read from a row is written back unchanged.
    const QString text = mapValue(map, key, QStringLiteral("-1"));
    return text.isEmpty() ? -1 : text.toLongLong();
}

QString TItemBase::keyText(qint64 key)
{
    return key < 0 ? QString() : QString::number(key);
}

QString TItemBase::limitText(double limit)
{
    // The column holds ten characters, which SQL Server enforces: a limit
    // whose plain form is longer goes in exponent form when that is shorter.
    // Either reads back as the same number.
    const QString plain = QString::number(limit, 'f', QLocale::FloatingPointShortest);
    if (plain.size() <= limitTextWidth)
        return plain;
    const QString exponent = QString::number(limit, 'g', QLocale::FloatingPointShortest);
    return exponent.size() < plain.size() ? exponent : plain;
}

double TItemBase::mapLimit(const TItemMap &map, const QString &key)
{
    return mapValue(map, key, QStringLiteral("0.000")).toDouble();
}

} // namespace Database
} // namespace Veltrix
