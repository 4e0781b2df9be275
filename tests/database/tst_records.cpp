#include "recordaccess.h"
#include "tdeviceconfig.h"
#include "tdeviceemailconfig.h"
#include "tdevicestate.h"
#include "tlocationconfig.h"
#include "tnotificationconfig.h"
#include "torvsqldialects.h"
#include "tvxdatabase.h"

#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <memory>

using namespace Veltrix::Database;

namespace {

const QString awkwardName = QStringLiteral("O'Brien's \"Café\" – Zürich ÅØ");

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TVXDatabase> m_db;
    TORVSQLBase *sql() const { return m_db->Sql(); }

    // Stores `record` as an editor does; returns the id the row got.
    qint64 store(TItemBase &record, bool insertKey = false)
    {
        const QString error = saveInTransaction(sql(), record, insertKey);
        if (!error.isEmpty())
            qWarning() << error;
        if (!insertKey && record.id() < 0) {
            const TORVSQLResult last = sql()->selectFirst("SELECT last_insert_rowid()");
            record.setId(last.record.value(0).toLongLong());
        }
        return error.isEmpty() ? record.id() : -1;
    }
    // The single row `text` selects, filled into `record`.
    bool loadOne(const QString &text, TItemBase &record)
    {
        const QList<TItemMap> rows = selectRows(sql(), text);
        if (rows.size() != 1) {
            qWarning() << text << rows.size();
            return false;
        }
        record.fromMap(rows.first());
        return true;
    }
    QVariant column(const QString &text) { return sql()->selectFirst(text).record.value(0); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TORVSQLSettings settings;
        settings.type = TORVSQLSettings::SQLite;
        settings.connectionName = "records";
        settings.databaseName = m_dir.filePath("records.db");
        m_db = std::make_unique<TVXDatabase>(settings);
        const TORVSQLResult built = m_db->CreateOrUpgrade();
        QVERIFY2(built.ok && m_db->DbVersion() == 12, qPrintable(built.error));
    }
    void cleanup()
    {
        for (const char *table :
             {"DeviceConfigs", "Location", "EmailConfig", "NotificationConfig", "Devices"})
            sql()->exec(QStringLiteral("DELETE FROM ") + table);
    }

    void defaults()
    {
        const TDeviceConfig config;
        const TLocationConfig location;
        const TDeviceEmailConfig email;
        const TNotificationConfig notification;
        const TDeviceState device;
        for (const TItemBase *record :
             std::initializer_list<const TItemBase *>{&config, &location, &email, &notification, &device}) {
            QCOMPARE(record->id(), qint64(-1));
            QVERIFY(!record->isValid());
            QVERIFY(record->toMap().value(record->idColumn()).isEmpty());
        }
        QVERIFY(!location.timeZone().isValid());
    }

    // A NULL key column reads as empty text: it names no row, so it stays -1 and is written back as NULL.
    void keyColumnsFromMap()
    {
        const auto check = [](bool present, const QString &text, qint64 expected) {
            TItemMap map{{"devicename", "n"}};
            if (present) {
                map.insert("devicesid", text);
                map.insert("locationid", text);
            }
            TDeviceConfig config;
            QVERIFY(config.fromMap(map));
            QCOMPARE(config.id(), expected);
            QCOMPARE(config.locationId(), expected);
            QCOMPARE(config.toMap().value("LocationID"),
                     expected < 0 ? QString() : QString::number(expected));
        };
        check(false, QString(), -1);
        check(true, QString(), -1);
        check(true, "abc", 0);
        check(true, "8589934592", 8589934592LL);
    }

    void serialValidityAndConnected()
    {
        for (const char *serial : {"00000000", "12345678"})
            QVERIFY2(TDeviceState(serial, QDateTime::currentDateTime(), 6).isValid(), serial);
        for (const char *serial : {"1234567", "123456789", "1234567a", "-1234567", "+1234567", " 1234567",
                                   "1234567 ", "\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668", ""})
            QVERIFY2(!TDeviceState(serial, QDateTime::currentDateTime(), 6).isValid(), serial);

        for (int state : {0, 6, 7, 1, 3, 5, 8, 9, 1000, -1}) {
            const bool connected = state != 0 && state != 6 && state != 7;
            QCOMPARE(TDeviceState("00000001", QDateTime(), state).toMap().value("connected"),
                     QString::number(int(connected)));
        }
    }

    // A config with no location and no e-mail stores NULLs; a stored config is updated in place.
    void deviceConfigWithNoneAndUpdate()
    {
        TDeviceState device("00000042", QDateTime::currentDateTime(), 6);
        store(device);
        TDeviceConfig config;
        config.setId(device.id());
        config.setName(awkwardName);
        config.setHostName("host-1");
        config.setDisabled(true);
        QCOMPARE(store(config, true), device.id());
        QCOMPARE(column("SELECT ifnull(LocationID, 'none') || ifnull(EmailConfigID, 'none') || Disabled "
                        "FROM DeviceConfigs")
                     .toString(),
                 QStringLiteral("nonenone1"));
        TDeviceConfig read;
        QVERIFY(loadOne(config.selectByDeviceSql(sqlTextLiteral(device.name())), read));
        QCOMPARE(read.toMap(), config.toMap());

        config.setHostName(QString());
        QCOMPARE(store(config, true), device.id());
        QCOMPARE(column("SELECT count(*) || ifnull(HostName, 'NULL') FROM DeviceConfigs").toString(),
                 QStringLiteral("1NULL"));
        read.fromMap({{"disabled", "true"}}); // only a number other than 0 disables
        QVERIFY(!read.disabled());
    }

    // A zone written by someone else (the service, another machine) that this machine does not know is
    // written back as it was.
    void locationWithUnknownZone()
    {
        TLocationConfig location;
        location.setName("Depot");
        store(location);
        for (const QVariant &zone : {QVariant("Mars/Olympus_Mons"), QVariant()}) {
            sql()->exec("UPDATE Location SET Timezone = ?", {zone});
            TLocationConfig read;
            QVERIFY(loadOne(read.selectByIdSql(location.id()), read));
            QVERIFY(read.isValid() && !read.timeZone().isValid());
            QCOMPARE(read.toMap().value("Timezone"), zone.toString());
        }
    }

    // Plain decimal notation that reads back as the number written, in both records; exponent form
    // only where the plain one would not fit the column.
    void resultLimitText()
    {
        const QList<QPair<double, QString>> cases{{0.05, "0.05"},     {1234.0, "1234"},
                                                  {50000.0, "50000"}, {0.123456, "0.123456"},
                                                  {0.0, "0"},         {1e12, "1e+12"}};
        for (const auto &c : cases) {
            TDeviceEmailConfig email;
            email.setResultLimit(c.first);
            TNotificationConfig notification;
            notification.setResultLimit(c.first);
            QCOMPARE(email.toMap().value("resultLimit"), c.second);
            QCOMPARE(notification.toMap().value("resultlimit"), c.second);
            TDeviceEmailConfig read;
            read.fromMap({{"resultlimit", c.second}});
            QCOMPARE(read.resultLimit(), c.first);
        }
    }

    // Address lists split dropping empty parts, not trimmed; valid with at least one entry.
    void emailValidity()
    {
        const auto check = [](const QString &to, const QStringList &entries, bool valid) {
            TDeviceEmailConfig email;
            QCOMPARE(email.fromMap({{"toaddresses", to}}), valid);
            QCOMPARE(email.toAddresses(), entries);
        };
        check("a@b.example", {"a@b.example"}, true);
        check(",a@b.example,,c@d.example,", {"a@b.example", "c@d.example"}, true);
        check(" a@b.example ", {" a@b.example "}, true);
        check(",,", {}, false);
        check(QString(), {}, false);
        TDeviceEmailConfig emptyEntries;
        emptyEntries.setToAddresses({QString(), QString()});
        QVERIFY(!emptyEntries.isValid());
    }

    void headersAndNotificationValidity()
    {
        const auto parsed = [](const QString &text) {
            QStringList pairs;
            for (const TNotificationHeader &header : TNotificationConfig::parseHeaders(text))
                pairs << header.first + '=' + header.second;
            return pairs;
        };
        QCOMPARE(parsed("Accept: text/plain,X-Key: 42"), (QStringList{"Accept=text/plain", "X-Key=42"}));
        QCOMPARE(parsed("Broken,X-Key: 1"), QStringList{"X-Key=1"});          // no colon: dropped
        QCOMPARE(parsed("Link: http://host:80/x"), QStringList{"Link=http"}); // a second colon cuts
        QCOMPARE(parsed(",,A:b,"), QStringList{"A=b"});
        QCOMPARE(parsed(QString()), QStringList());

        const auto valid = [](const QString &url, const QString &method) {
            TNotificationConfig notification;
            notification.setUrl(url);
            notification.setMethod(method);
            return notification.isValid();
        };
        QVERIFY(valid("https://h.example/", "POST") && valid("https://h.example/", "get") &&
                valid("https://h.example/", "Put"));
        QVERIFY(!valid("https://h.example/", "DELETE"));
        QVERIFY(!valid(QString(), "POST"));
    }

    // Every record through a real row, with quotes and non-ASCII letters in its texts: every SQL text it
    // builds runs on the version-12 database, finds its row, and fromMap gives back what toMap stored.
    // The location, e-mail and notification rows are reached through the configuration of a device
    // whose serial has leading zeros.
    void roundTripAndEverySqlText()
    {
        TDeviceState device("00000007", QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)), 3);
        QCOMPARE(device.lastUpdated().timeZone(), QTimeZone::systemTimeZone());
        store(device);
        TDeviceEmailConfig email;
        email.setName(awkwardName + " mail");
        email.setToAddresses({"a@b.example", "c.d@e.example"});
        email.setSmsAddresses({"0400111222@sms.example"});
        email.setSubject("Result 'high'");
        email.setMessage("Über dem Grenzwert");
        email.setResultLimit(0.08);
        store(email);
        TNotificationConfig notification;
        notification.setName(awkwardName);
        notification.setUrl("https://hooks.example/result?x='1'");
        notification.setMethod("POST");
        notification.setHeaders({{"Accept", "application/json"}, {"X-Token", "abc"}});
        notification.setMessage("{\"r\": 1}");
        notification.setResultLimit(0.05);
        store(notification);
        TLocationConfig location;
        location.setName(awkwardName);
        location.setEmailConfigId(email.id());
        location.setTimeZone(QTimeZone("Australia/Perth"));
        store(location);
        TDeviceConfig config;
        config.setId(device.id());
        config.setName(awkwardName);
        config.setHostName("host-1");
        config.setLocationId(location.id());
        config.setEmailConfigId(email.id());
        store(config, true);
        QVERIFY(sql()->exec("UPDATE DeviceConfigs SET NotificationConfigID = ?", {notification.id()}).ok);
        QCOMPARE(
            column("SELECT connected || toAddresses || headers FROM Devices, EmailConfig, NotificationConfig")
                .toString(),
            QStringLiteral("1a@b.example,c.d@e.example") + "Accept: application/json,X-Token: abc");
        QVERIFY(selectRows(sql(), device.selectByNameSql("00000007"))
                    .isEmpty()); // unquoted: compared as a number

        const QString serial = sqlTextLiteral(device.name());
        for (TItemBase *record :
             std::initializer_list<TItemBase *>{&device, &config, &location, &email, &notification}) {
            const TItemMap stored = record->toMap();
            const qint64 id = record->id();
            const QString name = record->name();
            const QList<TKeyName> list = selectKeyNames(sql(), *record);
            QCOMPARE(list, QList<TKeyName>{TKeyName(id, name)});

            for (const QString &text :
                 {record->selectAllSql(), record->selectByIdSql(id),
                  record->selectByNameSql(sqlTextLiteral(name)), record->selectByDeviceSql(serial)}) {
                record->setId(-1);
                record->setName(QString());
                QVERIFY2(loadOne(text, *record), qPrintable(text));
                QVERIFY(record->isValid());
                QCOMPARE(record->id(), id);
                QCOMPARE(record->name(), name);
                if (record != &device) // its time is written as text and read back as the same moment
                    QCOMPARE(record->toMap(), stored);
            }
            QVERIFY(selectRows(sql(), record->selectByIdSql(id + 1000)).isEmpty());
        }
        QCOMPARE(device.state(), 3);
        QCOMPARE(device.lastUpdated(), QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
        QCOMPARE(email.smsAddresses(), QStringList{"0400111222@sms.example"});
        QCOMPARE(notification.headers().size(), 2);

        // A limit text that is not a number reads as 0; an empty list as no entries.
        sql()->exec("UPDATE EmailConfig SET resultLimit = 'abc', SMSAddress = NULL");
        QVERIFY(loadOne(email.selectByIdSql(email.id()), email));
        QCOMPARE(email.resultLimit(), 0.0);
        QVERIFY(email.smsAddresses().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
