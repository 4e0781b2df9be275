// The single-instance guard across real processes: this test starts copies of
// itself that hold the segment, and kills them.

#include "tsingleinstanceguard.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstring>

using Veltrix::Server::Controller::TSingleInstanceGuard;

namespace {

const QString key = QStringLiteral("VeltrixServerControllerInstance");

// In a child: take the instance, say so, and wait to be killed.
int holdInstance()
{
    TSingleInstanceGuard guard(key, nullptr);
    if (guard.isAlreadyRunning())
        return 3;
    fputs("holding\n", stdout);
    fflush(stdout);
    for (;;)
        QThread::sleep(1);
}

} // namespace

class TestSingleInstanceGuard : public QObject
{
    Q_OBJECT
private slots:
    void secondGuardInTheSameProcess()
    {
        {
            TSingleInstanceGuard first(key, nullptr);
            QVERIFY(!first.isAlreadyRunning());
            QVERIFY(!first.isAlreadyRunning()); // asking again does not give it up
            TSingleInstanceGuard second(key, nullptr);
            QVERIFY(second.isAlreadyRunning());
        }
        // Released with the first guard.
        TSingleInstanceGuard third(key, nullptr);
        QVERIFY(!third.isAlreadyRunning());
    }
    void liveProcessBlocksAndKilledProcessDoesNot()
    {
        QProcess holder;
        QVERIFY(startHolder(holder));
        {
            TSingleInstanceGuard guard(key, nullptr);
            QVERIFY(guard.isAlreadyRunning());
        }
        // Still held after our look at it.
        {
            TSingleInstanceGuard guard(key, nullptr);
            QVERIFY(guard.isAlreadyRunning());
        }
        ::kill(pid_t(holder.processId()), SIGKILL);
        QVERIFY(holder.waitForFinished(10000));

        // The dead holder's segment is left behind; it must not block a new start.
        TSingleInstanceGuard guard(key, nullptr);
        QVERIFY(!guard.isAlreadyRunning());
    }

private:
    bool startHolder(QProcess &holder);
};

bool TestSingleInstanceGuard::startHolder(QProcess &holder)
{
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-instance")});
    if (!holder.waitForReadyRead(10000))
        return false;
    return holder.readAllStandardOutput().startsWith("holding");
}

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--hold-instance") == 0) {
        QCoreApplication app(argc, argv);
        return holdInstance();
    }
    QCoreApplication app(argc, argv);
    TestSingleInstanceGuard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstanceguard.moc"
