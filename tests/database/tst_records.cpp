#include "tdeviceconfig.h"
#include "tdeviceemailconfig.h"
#include "tdevicestate.h"
#include "tlocationconfig.h"
#include "tnotificationconfig.h"
#include "torvsqldialects.h"
#include "tvxdatabase.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <memory>

using namespace Veltrix::Database;

namespace {

const QString awkwardName = QStringLiteral("O'Brien's \"Café\" – Zürich ÅØ");

// Rows of `sql` as row maps (lower-cased names), as the editors read them.
QList<TItemMap> rowsOf(TORVSQLBase *sql, const QString &text, QString *error = nullptr)
{
    QList<TItemMap> rows;
    QSqlQuery query = sql->prepare(text);
    const TORVSQLResult result = sql->run(query);
    if (error)
        *error = result.ok ? QString() : result.error;
    while (result.ok && query.next())
        rows.append(TORVSQLBase::recordToMap(query.record()));
    return rows;
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TVXDatabase> m_db;
    TORVSQLBase *sql() const { return m_db->Sql(); }

    // Stores `record` as an editor does; returns the id the row got.
    qint64 store(TItemBase &record, bool insertKey = false)
    {
        const TORVSQLResult saved = sql()->save(record.tableName(), record.toMap(), record.idColumn(),
                                                QString::number(record.id()), insertKey);
        if (!saved.ok)
            qWarning() << saved.error << saved.query;
        if (!insertKey && record.id() < 0) {
            const TORVSQLResult last = sql()->selectFirst(QStringLiteral("SELECT last_insert_rowid() AS id"));
            record.setId(last.record.value(0).toLongLong());
        }
        return saved.ok ? record.id() : -1;
    }
    // The single row `text` selects, filled into `record`.
    bool loadOne(const QString &text, TItemBase &record)
    {
        QString error;
        const QList<TItemMap> rows = rowsOf(sql(), text, &error);
        if (!error.isEmpty() || rows.size() != 1) {
            qWarning() << text << error << rows.size();
            return false;
        }
        record.fromMap(rows.first());
        return true;
    }
    QVariant column(const QString &text) { return sql()->selectFirst(text).record.value(0); }

private slots:
    void initTestCase();
    void cleanup();

    void defaults();
    void keyColumnsFromMap_data();
    void keyColumnsFromMap();
    void serialValidity_data();
    void serialValidity();
    void connectedFromState_data();
    void connectedFromState();
    void deviceRoundTrip();
    void deviceConfigRoundTrip_data();
    void deviceConfigRoundTrip();
    void locationRoundTrip_data();
    void locationRoundTrip();
    void resultLimitText_data();
    void resultLimitText();
    void emailRoundTrip();
    void emailValidity_data();
    void emailValidity();
    void headersParsing_data();
    void headersParsing();
    void notificationValidity_data();
    void notificationValidity();
    void notificationRoundTrip();
    void everySelectTextRuns();
};

void TestRecords::initTestCase()
{
    QVERIFY(m_dir.isValid());
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::SQLite;
    settings.connectionName = QStringLiteral("records");
    settings.databaseName = m_dir.filePath(QStringLiteral("records.db"));
    m_db = std::make_unique<TVXDatabase>(settings);
    QVERIFY(m_db->IsOpen());
    const TORVSQLResult built = m_db->CreateOrUpgrade();
    QVERIFY2(built.ok, qPrintable(built.error));
    QCOMPARE(m_db->DbVersion(), 12);
}

void TestRecords::cleanup()
{
    for (const char *table : {"DeviceConfigs", "Location", "EmailConfig", "NotificationConfig", "Devices"})
        sql()->exec(QStringLiteral("DELETE FROM ") + QLatin1String(table));
}

void TestRecords::defaults()
{
    const TDeviceConfig config;
    const TLocationConfig location;
    const TDeviceEmailConfig email;
    const TNotificationConfig notification;
    const TDeviceState device;
    for (const TItemBase *record :
         std::initializer_list<const TItemBase *>{&config, &location, &email, &notification, &device}) {
        QCOMPARE(record->id(), qint64(-1));
        QVERIFY(record->name().isEmpty());
        QVERIFY(!record->isValid());
        QVERIFY(record->toMap().value(record->idColumn()).isEmpty());
    }
    QVERIFY(!location.timeZone().isValid());
    QCOMPARE(email.resultLimit(), 0.0);
}

void TestRecords::keyColumnsFromMap_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("missing") << false << QString() << qint64(-1);
    // A NULL column reads as empty text: it names no row, so it stays -1 and
    // is written back as NULL.
    QTest::newRow("empty (NULL)") << true << QString() << qint64(-1);
    QTest::newRow("not a number") << true << QStringLiteral("abc") << qint64(0);
    QTest::newRow("64-bit") << true << QStringLiteral("8589934592") << qint64(8589934592LL);
}

void TestRecords::keyColumnsFromMap()
{
    QFETCH(bool, present);
    QFETCH(QString, text);
    QFETCH(qint64, expected);
    TItemMap map{{QStringLiteral("devicename"), QStringLiteral("n")}};
    if (present) {
        map.insert(QStringLiteral("devicesid"), text);
        map.insert(QStringLiteral("locationid"), text);
    }
    TDeviceConfig config;
    QVERIFY(config.fromMap(map));
    QCOMPARE(config.id(), expected);
    QCOMPARE(config.locationId(), expected);
    QCOMPARE(config.toMap().value(QStringLiteral("LocationID")),
             expected < 0 ? QString() : QString::number(expected));
}

void TestRecords::serialValidity_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("valid");
    QTest::newRow("zeros") << QStringLiteral("00000000") << true;
    QTest::newRow("digits") << QStringLiteral("12345678") << true;
    QTest::newRow("7 digits") << QStringLiteral("1234567") << false;
    QTest::newRow("9 digits") << QStringLiteral("123456789") << false;
    QTest::newRow("letter") << QStringLiteral("1234567a") << false;
    QTest::newRow("minus sign") << QStringLiteral("-1234567") << false;
    QTest::newRow("plus sign") << QStringLiteral("+1234567") << false;
    QTest::newRow("leading blank") << QStringLiteral(" 1234567") << false;
    QTest::newRow("trailing blank") << QStringLiteral("1234567 ") << false;
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("١٢٣٤٥٦٧٨") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestRecords::serialValidity()
{
    QFETCH(QString, serial);
    QFETCH(bool, valid);
    QCOMPARE(TDeviceState(serial, QDateTime::currentDateTime(), 6).isValid(), valid);
}

void TestRecords::connectedFromState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("connected");
    for (int state : {0, 6, 7})
        QTest::addRow("state %d", state) << state << QStringLiteral("0");
    for (int state : {1, 3, 5, 8, 9, 1000, -1})
        QTest::addRow("state %d", state) << state << QStringLiteral("1");
}

void TestRecords::connectedFromState()
{
    QFETCH(int, state);
    QFETCH(QString, connected);
    QCOMPARE(TDeviceState(QStringLiteral("00000001"), QDateTime(), state)
                 .toMap()
                 .value(QStringLiteral("connected")),
             connected);
}

void TestRecords::deviceRoundTrip()
{
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    TDeviceState device(QStringLiteral("00001234"), when, 3);
    QCOMPARE(device.lastUpdated().timeZone(), QTimeZone::systemTimeZone());
    QVERIFY(store(device) > 0);
    QCOMPARE(column(QStringLiteral("SELECT connected FROM Devices")).toInt(), 1);

    // Leading zeros survive only when the serial is a quoted text literal.
    TDeviceState read;
    QVERIFY(loadOne(read.selectByNameSql(sqlTextLiteral(QStringLiteral("00001234"))), read));
    QCOMPARE(read.id(), device.id());
    QCOMPARE(read.name(), QStringLiteral("00001234"));
    QCOMPARE(read.state(), 3);
    QCOMPARE(read.lastUpdated(), device.lastUpdated());
    QVERIFY(rowsOf(sql(), read.selectByNameSql(QStringLiteral("00001234"))).isEmpty());

    TDeviceState byId;
    QVERIFY(loadOne(byId.selectByIdSql(device.id()), byId));
    QCOMPARE(byId.name(), device.name());
}

void TestRecords::deviceConfigRoundTrip_data()
{
    QTest::addColumn<bool>("withLocation");
    QTest::addColumn<bool>("withEmail");
    QTest::addColumn<bool>("disabled");
    QTest::newRow("location and e-mail") << true << true << false;
    QTest::newRow("neither, disabled") << false << false << true;
}

void TestRecords::deviceConfigRoundTrip()
{
    QFETCH(bool, withLocation);
    QFETCH(bool, withEmail);
    QFETCH(bool, disabled);

    TDeviceState device(QStringLiteral("00000042"), QDateTime::currentDateTime(), 6);
    store(device);
    TLocationConfig location;
    location.setName(QStringLiteral("Depot"));
    store(location);
    TDeviceEmailConfig email;
    email.setName(QStringLiteral("Alerts"));
    email.setToAddresses({QStringLiteral("a@b.example")});
    store(email);

    TDeviceConfig config;
    config.setId(device.id());
    config.setName(awkwardName);
    config.setHostName(QStringLiteral("host-1"));
    config.setLocationId(withLocation ? location.id() : -1);
    config.setEmailConfigId(withEmail ? email.id() : -1);
    config.setDisabled(disabled);
    QCOMPARE(store(config, true), device.id());
    QCOMPARE(column(QStringLiteral("SELECT LocationID IS NULL FROM DeviceConfigs")).toBool(), !withLocation);
    QCOMPARE(column(QStringLiteral("SELECT EmailConfigID IS NULL FROM DeviceConfigs")).toBool(), !withEmail);

    const QString serial = sqlTextLiteral(device.name());
    for (const QString &text : {config.selectByIdSql(device.id()), config.selectByDeviceSql(serial),
                                config.selectByNameSql(sqlTextLiteral(awkwardName))}) {
        TDeviceConfig read;
        QVERIFY2(loadOne(text, read), qPrintable(text));
        QCOMPARE(read.toMap(), config.toMap());
    }

    // A stored config is updated in place.
    config.setHostName(QString());
    QCOMPARE(store(config, true), device.id());
    QCOMPARE(column(QStringLiteral("SELECT count(*) FROM DeviceConfigs")).toInt(), 1);
    QVERIFY(column(QStringLiteral("SELECT HostName FROM DeviceConfigs")).isNull());

    // Only a number other than 0 disables.
    TDeviceConfig loose;
    loose.fromMap({{QStringLiteral("disabled"), QStringLiteral("true")}});
    QVERIFY(!loose.disabled());
}

void TestRecords::locationRoundTrip_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<bool>("zoneValid");
    QTest::newRow("known") << QStringLiteral("Australia/Perth") << true;
    QTest::newRow("unknown") << QStringLiteral("Mars/Olympus_Mons") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestRecords::locationRoundTrip()
{
    QFETCH(QString, zone);
    QFETCH(bool, zoneValid);

    TDeviceEmailConfig email;
    email.setName(QStringLiteral("Mail"));
    store(email);
    TLocationConfig location;
    location.setName(awkwardName);
    location.setEmailConfigId(email.id());
    location.setTimeZone(QTimeZone(QByteArrayLiteral("Australia/Perth")));
    QVERIFY(store(location) > 0);
    // A zone written by someone else (the service, an older machine).
    sql()->exec(QStringLiteral("UPDATE Location SET Timezone = ?"), {zone.isEmpty() ? QVariant() : zone});

    TLocationConfig read;
    QVERIFY(loadOne(read.selectByNameSql(sqlTextLiteral(awkwardName)), read));
    QVERIFY(read.isValid());
    QCOMPARE(read.id(), location.id());
    QCOMPARE(read.name(), awkwardName);
    QCOMPARE(read.emailConfigId(), email.id());
    QCOMPARE(read.timeZone().isValid(), zoneValid);
    if (zoneValid)
        QCOMPARE(QString::fromUtf8(read.timeZone().id()), zone);
    QCOMPARE(read.toMap().value(QStringLiteral("Timezone")), zoneValid ? zone : QString());
}

void TestRecords::resultLimitText_data()
{
    QTest::addColumn<double>("limit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("readBack");
    QTest::newRow("0.05") << 0.05 << QStringLiteral("0.05") << 0.05;
    QTest::newRow("three digits") << 0.123456 << QStringLiteral("0.123") << 0.123;
    QTest::newRow("whole") << 220.0 << QStringLiteral("220") << 220.0;
    QTest::newRow("zero") << 0.0 << QStringLiteral("0") << 0.0;
}

void TestRecords::resultLimitText()
{
    QFETCH(double, limit);
    QFETCH(QString, text);
    QFETCH(double, readBack);
    TDeviceEmailConfig email;
    email.setResultLimit(limit);
    TNotificationConfig notification;
    notification.setResultLimit(limit);
    QCOMPARE(email.toMap().value(QStringLiteral("resultLimit")), text);
    QCOMPARE(notification.toMap().value(QStringLiteral("resultlimit")), text);
    TDeviceEmailConfig read;
    read.fromMap({{QStringLiteral("resultlimit"), text}});
    QCOMPARE(read.resultLimit(), readBack);
}

void TestRecords::emailRoundTrip()
{
    TDeviceEmailConfig email;
    email.setName(awkwardName);
    email.setToAddresses({QStringLiteral("a@b.example"), QStringLiteral("c.d@e.example")});
    email.setSmsAddresses({QStringLiteral("0400111222@sms.example")});
    email.setSubject(QStringLiteral("Result 'high'"));
    email.setMessage(QStringLiteral("Über dem Grenzwert"));
    email.setResultLimit(0.08);
    QVERIFY(store(email) > 0);
    QCOMPARE(column(QStringLiteral("SELECT toAddresses FROM EmailConfig")).toString(),
             QStringLiteral("a@b.example,c.d@e.example"));

    TDeviceEmailConfig read;
    QVERIFY(loadOne(read.selectByIdSql(email.id()), read));
    QCOMPARE(read.toMap(), email.toMap());
    QCOMPARE(read.smsAddresses(), email.smsAddresses());

    // A limit text that is not a number reads as 0; an empty list as no entries.
    sql()->exec(QStringLiteral("UPDATE EmailConfig SET resultLimit = 'abc', SMSAddress = NULL"));
    QVERIFY(loadOne(read.selectByIdSql(email.id()), read));
    QCOMPARE(read.resultLimit(), 0.0);
    QVERIFY(read.smsAddresses().isEmpty());
}

void TestRecords::emailValidity_data()
{
    QTest::addColumn<QString>("toAddresses");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("valid");
    QTest::newRow("one") << QStringLiteral("a@b.example") << QStringList{"a@b.example"} << true;
    QTest::newRow("empty parts dropped")
        << QStringLiteral(",a@b.example,,c@d.example,") << QStringList{"a@b.example", "c@d.example"} << true;
    QTest::newRow("not trimmed") << QStringLiteral(" a@b.example ") << QStringList{" a@b.example "} << true;
    QTest::newRow("only separators") << QStringLiteral(",,") << QStringList() << false;
    QTest::newRow("none") << QString() << QStringList() << false;
}

void TestRecords::emailValidity()
{
    QFETCH(QString, toAddresses);
    QFETCH(QStringList, entries);
    QFETCH(bool, valid);
    TDeviceEmailConfig email;
    QCOMPARE(email.fromMap({{QStringLiteral("toaddresses"), toAddresses}}), valid);
    QCOMPARE(email.toAddresses(), entries);

    TDeviceEmailConfig emptyEntries;
    emptyEntries.setToAddresses({QString(), QString()});
    QVERIFY(!emptyEntries.isValid());
}

void TestRecords::headersParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pairs"); // "name=value"
    QTest::newRow("two") << QStringLiteral("Accept: text/plain,X-Key: 42")
                         << QStringList{"Accept=text/plain", "X-Key=42"};
    QTest::newRow("no colon dropped") << QStringLiteral("Broken,X-Key: 1") << QStringList{"X-Key=1"};
    QTest::newRow("second colon cuts")
        << QStringLiteral("Link: http://host:80/x") << QStringList{"Link=http"};
    QTest::newRow("empty parts") << QStringLiteral(",,A:b,") << QStringList{"A=b"};
    QTest::newRow("empty") << QString() << QStringList();
}

void TestRecords::headersParsing()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pairs);
    QStringList parsed;
    for (const TNotificationHeader &header : TNotificationConfig::parseHeaders(text))
        parsed << header.first + QLatin1Char('=') + header.second;
    QCOMPARE(parsed, pairs);
}

void TestRecords::notificationValidity_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("method");
    QTest::addColumn<bool>("valid");
    QTest::newRow("POST") << QStringLiteral("https://h.example/") << QStringLiteral("POST") << true;
    QTest::newRow("get") << QStringLiteral("https://h.example/") << QStringLiteral("get") << true;
    QTest::newRow("Put") << QStringLiteral("https://h.example/") << QStringLiteral("Put") << true;
    QTest::newRow("DELETE") << QStringLiteral("https://h.example/") << QStringLiteral("DELETE") << false;
    QTest::newRow("no url") << QString() << QStringLiteral("POST") << false;
}

void TestRecords::notificationValidity()
{
    QFETCH(QString, url);
    QFETCH(QString, method);
    QFETCH(bool, valid);
    TNotificationConfig notification;
    notification.setUrl(url);
    notification.setMethod(method);
    QCOMPARE(notification.isValid(), valid);
}

void TestRecords::notificationRoundTrip()
{
    TNotificationConfig notification;
    notification.setName(awkwardName);
    notification.setUrl(QStringLiteral("https://hooks.example/result?x='1'"));
    notification.setMethod(QStringLiteral("POST"));
    notification.setHeaders({{QStringLiteral("Accept"), QStringLiteral("application/json")},
                             {QStringLiteral("X-Token"), QStringLiteral("abc")}});
    notification.setMessage(QStringLiteral("{\"r\": 1}"));
    notification.setResultLimit(0.05);
    QVERIFY(store(notification) > 0);
    QCOMPARE(column(QStringLiteral("SELECT headers FROM NotificationConfig")).toString(),
             QStringLiteral("Accept: application/json,X-Token: abc"));

    TNotificationConfig read;
    QVERIFY(loadOne(read.selectByNameSql(sqlTextLiteral(awkwardName)), read));
    QVERIFY(read.isValid());
    QCOMPARE(read.toMap(), notification.toMap());
    QCOMPARE(read.headers(), notification.headers());
}

// Every text each record builds runs on a version-12 database and finds the
// row it should: the location, e-mail and notification rows through the
// configuration of a device whose serial has leading zeros.
void TestRecords::everySelectTextRuns()
{
    TDeviceState device(QStringLiteral("00000007"), QDateTime::currentDateTime(), 0);
    store(device);
    TDeviceEmailConfig email;
    email.setName(QStringLiteral("Mail"));
    email.setToAddresses({QStringLiteral("a@b.example")});
    store(email);
    TNotificationConfig notification;
    notification.setName(QStringLiteral("Hook"));
    notification.setUrl(QStringLiteral("https://h.example/"));
    notification.setMethod(QStringLiteral("GET"));
    store(notification);
    TLocationConfig location;
    location.setName(QStringLiteral("Site"));
    location.setEmailConfigId(email.id());
    store(location);
    TDeviceConfig config;
    config.setId(device.id());
    config.setName(QStringLiteral("Front door"));
    config.setLocationId(location.id());
    config.setEmailConfigId(email.id());
    store(config, true);
    QVERIFY(
        sql()
            ->exec(QStringLiteral("UPDATE DeviceConfigs SET NotificationConfigID = ?"), {notification.id()})
            .ok);

    const QString serial = sqlTextLiteral(device.name());
    const QList<QPair<TItemBase *, QString>> records{{&device, device.name()},
                                                     {&config, config.name()},
                                                     {&location, location.name()},
                                                     {&email, email.name()},
                                                     {&notification, notification.name()}};
    for (const auto &entry : records) {
        TItemBase *record = entry.first;
        const qint64 id = record->id();
        const QString name = entry.second;
        const QString table = record->tableName();
        QString error;

        const QList<TItemMap> list = rowsOf(sql(), record->listSql(), &error);
        QVERIFY2(error.isEmpty(), qPrintable(table + ": " + error));
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first().value(record->idColumn().toLower()).toLongLong(), id);
        QCOMPARE(list.first().value(record->nameColumn().toLower()), name);

        for (const QString &text :
             {record->selectAllSql(), record->selectByIdSql(id),
              record->selectByNameSql(sqlTextLiteral(name)), record->selectByDeviceSql(serial)}) {
            record->setId(-1);
            record->setName(QString());
            QVERIFY2(loadOne(text, *record), qPrintable(text));
            QCOMPARE(record->id(), id);
            QCOMPARE(record->name(), name);
        }
        QVERIFY(rowsOf(sql(), record->selectByIdSql(id + 1000)).isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
