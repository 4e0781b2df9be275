#pragma once

#include <QMap>
#include <QString>

namespace Veltrix {
namespace Database {

// A row map: column name to the column's value as text. Maps read from the
// database carry lower-cased column names (TORVSQLBase::recordToMap).
using TItemMap = QMap<QString, QString>;

// The common interface of the configuration records shown and changed by the
// database manager's editors. A record is a plain value: a 64-bit row id (-1,
// or any negative value, while it has no row) and a display name. It knows its
// table and columns, converts itself to and from a row map and builds the
// SELECT texts that find its rows; it never runs a statement itself.
//
// The value arguments of the select texts are placed into the text unchanged.
// A caller handing in a text must pass it through sqlTextLiteral() first.
class TItemBase
{
public:
    TItemBase() = default;
    TItemBase(qint64 id, const QString &name);
    virtual ~TItemBase();

    TItemBase(const TItemBase &) = default;
    TItemBase &operator=(const TItemBase &) = default;

    virtual QString tableName() const = 0;
    virtual QString idColumn() const = 0;
    virtual QString nameColumn() const = 0;

    virtual qint64 id() const;
    virtual void setId(qint64 id);
    virtual QString name() const;
    virtual void setName(const QString &name);

    // The record as column name to text, for TORVSQLBase::save().
    virtual TItemMap toMap() const = 0;
    // Fills the record from a row map; returns isValid().
    virtual bool fromMap(const TItemMap &map) = 0;
    // Whether the record may be stored.
    virtual bool isValid() const = 0;

    // Key and name of every row, ordered by name.
    virtual QString listSql() const;
    // Every row, ordered by name.
    virtual QString selectAllSql() const;
    // The row with the key `id`.
    virtual QString selectByIdSql(qint64 id) const;
    // The rows whose name equals `value` (an SQL literal).
    virtual QString selectByNameSql(const QString &value) const;
    // The record that belongs to the device with the serial `value` (an SQL literal).
    virtual QString selectByDeviceSql(const QString &value) const = 0;

protected:
    // The value of `key` (looked up in lower case), or `defaultValue` when the map lacks it.
    static QString mapValue(const TItemMap &map, const QString &key, const QString &defaultValue = QString());
    // A key column: -1 when missing or empty (NULL), else the text converted to
    // 64 bits (text that is not a number gives 0).
    static qint64 mapKey(const TItemMap &map, const QString &key);
    // A key as text: decimal, or empty (stored as NULL) when negative.
    static QString keyText(qint64 key);
    // A result limit in plain decimal notation ("1234", "0.05"), with as few
    // digits as read back as the same number.
    static QString limitText(double limit);
    // A result limit read back ("0.000" when missing, 0 for text that is not a
    // number); the exponent form of older versions ("1.23e+03") reads too.
    static double mapLimit(const TItemMap &map, const QString &key);

private:
    qint64 m_id = -1;
    QString m_name;
};

} // namespace Database
} // namespace Veltrix
