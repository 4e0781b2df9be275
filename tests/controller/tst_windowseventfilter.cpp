#include "windowseventfilter.h"

#include <QMenu>
#include <QTest>

using namespace Veltrix::Server::Controller;

class TestWindowsEventFilter : public QObject
{
    Q_OBJECT
private slots:
    void decision_data()
    {
        QTest::addColumn<uint>("message");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("tearOffVisible");
        QTest::addColumn<bool>("ends");

        QTest::newRow("close") << uint(0x0010) << true << false << true;
        QTest::newRow("quit") << uint(0x0012) << true << false << true;
        QTest::newRow("close, dialog open") << uint(0x0010) << false << false << false;
        QTest::newRow("quit, dialog open") << uint(0x0012) << false << false << false;
        QTest::newRow("close, torn-off menu") << uint(0x0010) << true << true << false;
        QTest::newRow("quit, torn-off menu") << uint(0x0012) << true << true << false;
        QTest::newRow("query end session") << uint(0x0011) << true << false << false;
        QTest::newRow("paint") << uint(0x000F) << true << false << false;
    }
    void decision()
    {
        QFETCH(uint, message);
        QFETCH(bool, enabled);
        QFETCH(bool, tearOffVisible);
        QFETCH(bool, ends);
        QCOMPARE(windowsMessageEndsProgram(message, enabled, tearOffVisible), ends);
    }
    void foreignEventsAreLeftAlone()
    {
        // Other systems deliver their own native events; none of them ends the
        // program, whatever its bytes look like.
        QMenu menu;
        WindowsEventFilter filter(&menu);
#ifndef Q_OS_WIN
        unsigned int fakeEvent[16] = {0x0010, 0x0010, 0x0012, 0x0012};
        long result = 0;
        QVERIFY(!filter.nativeEventFilter("xcb_generic_event_t", fakeEvent, &result));
#endif
    }
};

QTEST_MAIN(TestWindowsEventFilter)
#include "tst_windowseventfilter.moc"
