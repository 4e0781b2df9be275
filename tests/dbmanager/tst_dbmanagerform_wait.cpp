#include "tdbmanagerform.h"
#include "testhelpers.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QtTest>

#include <arpa/inet.h>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Veltrix::Database;

namespace {

// A database server that accepts connections (the kernel completes them) and never answers.
class SilentServer
{
public:
    ~SilentServer() { hangUp(); }

    bool listen()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
            ::listen(m_socket, 8) != 0 ||
            ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return false;
        port = ntohs(address.sin_port);
        return true;
    }
    // Takes the waiting connections (counting them) and closes everything.
    void hangUp()
    {
        if (m_socket < 0)
            return;
        ::fcntl(m_socket, F_SETFL, O_NONBLOCK);
        for (int client = ::accept(m_socket, nullptr, nullptr); client >= 0;
             client = ::accept(m_socket, nullptr, nullptr)) {
            ++accepted;
            ::close(client);
        }
        ::close(m_socket);
        m_socket = -1;
    }
    int port = 0;
    int accepted = 0;

private:
    int m_socket = -1;
};

} // namespace

class TestDBManagerFormWait : public QObject
{
    Q_OBJECT

private slots:
    void silentServerKeepsDialogResponsive();
};

void TestDBManagerFormWait::silentServerKeepsDialogResponsive()
{
    SilentServer server;
    QVERIFY(server.listen());
    TORVSQLSettings connection;
    connection.type = TORVSQLSettings::MSSqlServer;
    connection.connectionName = QStringLiteral("Silent");
    connection.address = QStringLiteral("127.0.0.1");
    connection.port = server.port;
    connection.databaseName = QStringLiteral("vxs");
    connection.userName = QStringLiteral("sa");
    connection.password = QStringLiteral("secret");
    FakeSettings settings;
    settings.list = {connection};
    settings.server = connection;
    TVXSDBManagerForm form(nullptr, &settings);

    // Sample the status label and the dialog while the attempt runs.
    QStringList texts;
    bool disabledWhileConnecting = true;
    double cpuAtStart = -1;
    double cpuAtEnd = -1;
    QElapsedTimer wall;
    qint64 wallMs = 0;
    auto sample = [&]() {
        auto *label = form.findChild<QLabel *>(QStringLiteral("lConnectionStatus"));
        if (!label)
            return;
        const QString text = label->text();
        const bool connecting = text.startsWith(QStringLiteral("Connecting"));
        if (connecting && cpuAtStart < 0) {
            cpuAtStart = (std::clock() * 1000.0 / CLOCKS_PER_SEC);
            wall.start();
        }
        if (!connecting && cpuAtStart >= 0 && cpuAtEnd < 0) {
            cpuAtEnd = (std::clock() * 1000.0 / CLOCKS_PER_SEC);
            wallMs = wall.elapsed();
        }
        if (connecting && form.isEnabled())
            disabledWhileConnecting = false;
        if (texts.isEmpty() || texts.last() != text)
            texts << text;
    };
    QTimer sampler;
    sampler.setInterval(50);
    connect(&sampler, &QTimer::timeout, this, sample);
    sampler.start();
    // Long enough for the dots to wrap after eleven (12 ticks of 333 ms).
    QTimer::singleShot(4800, this, [&server]() { server.hangUp(); });
    runAndClose(form);
    sampler.stop();
    sample(); // the attempt may have ended between two samples

    if (server.accepted == 0)
        QSKIP("The SQL Server driver did not reach the loopback server; nothing to measure.");
    const QString seen = texts.join(QLatin1Char('|'));
    QVERIFY2(cpuAtStart >= 0 && cpuAtEnd >= 0, qPrintable(seen));

    // The label moved on every 333 ms and wrapped after eleven dots.
    const QString stem = QStringLiteral("Connecting");
    const int elevenDots = texts.indexOf(stem + QString(11, QLatin1Char('.')));
    QVERIFY2(elevenDots > 0, qPrintable(seen));
    QVERIFY2(texts.mid(0, elevenDots).contains(stem + QStringLiteral("......")), qPrintable(seen));
    QCOMPARE(texts.value(elevenDots + 1), stem); // back to the bare text
    QVERIFY(disabledWhileConnecting);
    QVERIFY(form.isEnabled());
    QVERIFY(
        texts.last().startsWith(QStringLiteral("Unable to connect to: Silent (Microsoft SQL Server) - ")));

    const double cpuMs = cpuAtEnd - cpuAtStart;
    const double share = wallMs > 0 ? 100.0 * cpuMs / wallMs : 100.0;
    qInfo("Waiting for the silent server: %.0f ms CPU in %lld ms (%.1f %% of one core)", cpuMs, wallMs,
          share);
    QVERIFY(wallMs >= 4000);
    // A spinning wait costs a whole core; the goal is below 5 %, the bound leaves room for a busy machine.
    QVERIFY2(share < 20.0, qPrintable(QString::number(share)));
}

QTEST_MAIN(TestDBManagerFormWait)
#include "tst_dbmanagerform_wait.moc"
