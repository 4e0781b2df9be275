#include "emailaddress.h"

#include <QtTest>

class TestIsValidEmail : public QObject
{
    Q_OBJECT

private slots:
    void check_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");

        QTest::newRow("plain") << "jane.doe@example.com" << true;
        QTest::newRow("two-letter tld") << "jane@example.nz" << true;
        QTest::newRow("four-letter tld") << "jane@example.info" << true;
        QTest::newRow("six-letter tld") << "ops@company.online" << true;
        QTest::newRow("63-letter tld") << "jane@example." + QString(63, 'a') << true;
        QTest::newRow("sub-domains") << "ops@mail.server.example.co.uk" << true;
        QTest::newRow("all capitals") << "JANE.DOE@EXAMPLE.COM" << true;
        QTest::newRow("name symbols") << "a_b%c+d-e.f@ex-ample.org" << true;
        QTest::newRow("digits") << "user123@123mail.com" << true;

        QTest::newRow("empty") << "" << false;
        QTest::newRow("one-letter tld") << "jane@example.c" << false;
        QTest::newRow("64-letter tld") << "jane@example." + QString(64, 'a') << false;
        QTest::newRow("digits in tld") << "jane@example.c0m" << false;
        QTest::newRow("no dot after at") << "jane@localhost" << false;
        QTest::newRow("no at") << "jane.example.com" << false;
        QTest::newRow("no name") << "@example.com" << false;
        QTest::newRow("two ats") << "jane@doe@example.com" << false;
        QTest::newRow("trailing blank") << "jane@example.com " << false;
        QTest::newRow("text around") << "Jane <jane@example.com>" << false;
        QTest::newRow("two addresses") << "a@example.com,b@example.com" << false;
        QTest::newRow("starts with dot") << ".jane@example.com" << false;
        QTest::newRow("blank inside") << "jane doe@example.com" << false;
        QTest::newRow("non-ascii letter") << QString::fromUtf8("j\xc3\xa9r\xc3\xb4me@example.fr") << false;
    }
    void check()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(Veltrix::isValidEmail(text), valid);
    }
};

QTEST_APPLESS_MAIN(TestIsValidEmail)
#include "tst_isvalidemail.moc"
