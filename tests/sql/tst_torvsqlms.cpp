// The SQL Server dialect through QODBC and the ODBC driver registered as
// "SQL SERVER" (FreeTDS on Linux). No server exists here: these tests check
// how a connection fails, not what it does once open.
#include "torvsqldialects.h"

#include <QElapsedTimer>
#include <QSqlDriver>
#include <QtTest>

#include <condition_variable>
#include <mutex>
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

// A listening loopback socket. Its port is closed once the object is gone;
// while it lives the kernel accepts connections and nothing ever answers them.
class SilentListener
{
public:
    SilentListener()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(m_socket, 8) != 0 ||
            ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            qFatal("cannot listen on the loopback interface");
        m_port = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(m_socket); }
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;
    int port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};

TORVSQLSettings serverRecord(int port)
{
    TORVSQLSettings settings;
    settings.type = TORVSQLSettings::MSSqlServer;
    settings.connectionName = QStringLiteral("Server");
    settings.address = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.databaseName = QStringLiteral("Veltrix");
    settings.userName = QStringLiteral("sa");
    settings.password = QStringLiteral("secret");
    return settings;
}

} // namespace

class TestSqlServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
            QSKIP("Qt's ODBC driver is not installed (scripts/setup.sh installs it)");
        g_previousHandler = qInstallMessageHandler(recordWarnings);
    }
    void init() { g_warnings.clear(); }
    void cleanup() { QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n')))); }

    void connectionIsConfigured()
    {
        const QStringList before = QSqlDatabase::connectionNames();
        {
            TORVSQLMS db(serverRecord(1433));
            QVERIFY(!db.isOpen());
            QSqlDatabase qt = QSqlDatabase::database(db.qtConnectionName(), false);
            QCOMPARE(qt.driverName(), QStringLiteral("QODBC"));
            QCOMPARE(qt.databaseName(),
                     QStringLiteral("DRIVER={SQL SERVER};SERVER=127.0.0.1,1433;DATABASE=Veltrix;"));
            QCOMPARE(qt.userName(), QStringLiteral("sa"));
            QCOMPARE(qt.password(), QStringLiteral("secret"));
            QCOMPARE(qt.connectOptions(), QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=10"));
        }
        QCOMPARE(QSqlDatabase::connectionNames(), before);
    }

    void closedPortFailsWithDriverText()
    {
        int port = 0;
        {
            SilentListener listener;
            port = listener.port();
        } // nothing listens there any more
        TORVSQLMS db(serverRecord(port));
        QElapsedTimer timer;
        timer.start();
        const TORVSQLResult opened = db.open();
        QVERIFY(!opened.ok && !opened.value);
        QVERIFY(!db.isOpen());
        // the driver's whole text: its last message is the tail of the text
        QVERIFY2(opened.error.contains(QLatin1String("Unable to connect")) &&
                     opened.error.endsWith(QLatin1String("QODBC3: Unable to connect")),
                 qPrintable(opened.error));
        qInfo("closed port %d: failed after %lld ms: %s", port, timer.elapsed(), qPrintable(opened.error));
        // statements on the failed connection are failures too, not crashes
        QVERIFY(!db.exec(QStringLiteral("SELECT 1")).ok);
        QCOMPARE(db.checkConnection().error, QStringLiteral("Database Connection is inactive"));
        QVERIFY(!db.beginTransaction().ok);
    }

    void silentServerTimesOut()
    {
        SilentListener listener;
        TORVSQLMS db(serverRecord(listener.port()));
        // A hanging open() must fail the test, not stall the whole run.
        std::mutex mutex;
        std::condition_variable returned;
        bool done = false;
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!returned.wait_for(lock, std::chrono::seconds(40), [&] { return done; }))
                qFatal("open() of a server that never answers did not return within 40 s");
        });
        QElapsedTimer timer;
        timer.start();
        const TORVSQLResult opened = db.open();
        const qint64 waited = timer.elapsed();
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        returned.notify_one();
        watchdog.join();
        QVERIFY(!opened.ok);
        QVERIFY(!opened.error.isEmpty());
        qInfo("silent server: open failed after %lld ms: %s", waited, qPrintable(opened.error));
        QVERIFY2(opened.error.contains(QLatin1String("Timeout expired")), qPrintable(opened.error));
        QVERIFY2(waited >= 9000 && waited < 20000, qPrintable(QString::number(waited))); // login timeout 10 s
    }
};

QTEST_GUILESS_MAIN(TestSqlServer)
#include "tst_torvsqlms.moc"
