// The SQL Server dialect through QODBC and the ODBC driver registered as
// "SQL SERVER" (FreeTDS on Linux). No server exists here: these tests check
// how a connection fails, not what it does once open.
#include "torvsqldialects.h"

#include <QElapsedTimer>
#include <QtTest>

#include <future>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QStringList g_warnings;
QtMessageHandler g_previousHandler = nullptr;

void recordWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << message;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

// A listening loopback socket: the kernel accepts connections and nothing
// ever answers them. Its port is closed once the object is gone.
struct SilentListener
{
    int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    SilentListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(socket, 8) != 0 ||
            ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            qFatal("cannot listen on the loopback interface");
        port = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(socket); }
};

TORVSQLSettings serverRecord(int port)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::MSSqlServer;
    settings.connectionName = "Server";
    settings.address = "127.0.0.1";
    settings.port = port;
    settings.databaseName = "Veltrix";
    settings.userName = "sa";
    settings.password = "secret";
    return settings;
}

} // namespace

class TestSqlServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QSqlDatabase::isDriverAvailable("QODBC"))
            QSKIP("Qt's ODBC driver is not installed (scripts/setup.sh installs it)");
        g_previousHandler = qInstallMessageHandler(recordWarnings);
    }
    void init() { g_warnings.clear(); }
    void cleanup() { QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n'))); }

    void connectionIsConfigured()
    {
        const QStringList before = QSqlDatabase::connectionNames();
        {
            TORVSQLMS db(serverRecord(1433));
            QSqlDatabase qt = QSqlDatabase::database(db.qtConnectionName(), false);
            QCOMPARE(qt.driverName(), QStringLiteral("QODBC"));
            QCOMPARE(qt.databaseName(), QStringLiteral("DRIVER={SQL SERVER};SERVER={127.0.0.1,1433};"
                                                       "DATABASE={Veltrix};UID={sa};PWD={secret};"));
            QCOMPARE(qt.userName() + qt.password(), QString()); // Qt would append them unbraced
            QCOMPARE(qt.connectOptions(), QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=10"));
        }
        QCOMPARE(QSqlDatabase::connectionNames(), before);
    }

    void closedPortFailsWithDriverText()
    {
        int port = SilentListener().port; // nothing listens there any more
        TORVSQLMS db(serverRecord(port));
        const TORVSQLResult opened = db.open();
        QVERIFY(!opened.ok && !opened.value && !db.isOpen());
        // the driver's whole text: its last message is the tail of the text
        QVERIFY2(opened.error.endsWith("QODBC3: Unable to connect"), qPrintable(opened.error));
        QVERIFY(!opened.error.contains("secret"));
        // statements on the failed connection are failures too, not crashes
        QVERIFY(!db.exec("SELECT 1").ok);
        QCOMPARE(db.checkConnection().error, QStringLiteral("Database Connection is inactive"));
        QVERIFY(!db.beginTransaction().ok);
    }

    void silentServerTimesOut()
    {
        SilentListener listener;
        TORVSQLMS db(serverRecord(listener.port));
        // A hanging open() must fail the test, not stall the whole run.
        std::promise<void> returned;
        std::thread watchdog([future = returned.get_future()] {
            if (future.wait_for(std::chrono::seconds(40)) != std::future_status::ready)
                qFatal("open() of a server that never answers did not return within 40 s");
        });
        QElapsedTimer timer;
        timer.start();
        const TORVSQLResult opened = db.open();
        const qint64 waited = timer.elapsed();
        returned.set_value();
        watchdog.join();
        qInfo("silent server: open failed after %lld ms: %s", waited, qPrintable(opened.error));
        QVERIFY(!opened.ok);
        QVERIFY2(opened.error.contains("Timeout expired"), qPrintable(opened.error));
        QVERIFY2(waited >= 9000 && waited < 20000, qPrintable(QString::number(waited))); // login timeout 10 s
    }
};

QTEST_GUILESS_MAIN(TestSqlServer)
#include "tst_torvsqlms.moc"
