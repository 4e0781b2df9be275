#include "recordeditorfixture.h"
#include "tdbdeviceconfigform.h"
#include "tdbdeviceform.h"
#include "tdbemailconfigform.h"
#include "tdblocationconfigform.h"

#include <QFontDatabase>

// Renders the four record editors on sample data with the application's fonts
// and style sheet. Set VX_SCREENSHOT_DIR to keep the pictures (docs/screenshots
// in the source tree).
class TestEditorScreenshots : public QObject
{
    Q_OBJECT

private:
    RecordEditorFixture m_fx;

private slots:
    void initTestCase();
    void cleanupTestCase() { qApp->setStyleSheet(QString()); }
    void editors_data();
    void editors();
};

void TestEditorScreenshots::initTestCase()
{
    const QString resources = qEnvironmentVariable("VX_SOURCE_DIR") + QStringLiteral("/resources/");
    for (const char *font : {"Switzerland Condensed Bold.ttf", "arial.ttf", "arialbd.ttf", "cmunss.ttf",
                             "texgyrepagella-regular.otf"})
        QFontDatabase::addApplicationFont(resources + QLatin1String(font));
    QFile style(resources + QStringLiteral("style.css"));
    if (style.open(QIODevice::ReadOnly | QIODevice::Text))
        qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    // The offscreen platform's default font is far larger than a desktop's.
    qApp->setFont(QFont(QStringLiteral("Liberation Sans"), 9));

    QVERIFY(m_fx.create(QStringLiteral("screens")));
    const qint64 gate = m_fx.device(QStringLiteral("20260001"));
    const qint64 lab = m_fx.device(QStringLiteral("20260002"));
    m_fx.device(QStringLiteral("20260003"));
    const qint64 office = m_fx.insert(QStringLiteral(
        "INSERT INTO EmailConfig (Name, toAddresses, SMSAddress, subject, message, resultLimit) "
        "VALUES ('Head Office Alerts', 'safety@veltrix.com,site.manager@veltrix.com', "
        "'0400111222@sms.net', 'Test result above limit', 'Please follow up the test below.', '0.05')"));
    m_fx.email(QStringLiteral("Night Shift"));
    const qint64 depot = m_fx.location(QStringLiteral("Adelaide Depot"), office);
    m_fx.location(QStringLiteral("Perth Yard"));
    m_fx.sql()->exec(
        QStringLiteral("UPDATE Location SET Timezone = 'Australia/Adelaide' WHERE LocationID = ?"), {depot});
    m_fx.config(gate, QStringLiteral("Front Gate"), depot);
    m_fx.config(lab, QStringLiteral("Workshop"));
    m_fx.sql()->exec(QStringLiteral("UPDATE DeviceConfigs SET HostName = 'gate-pc', EmailConfigID = ? WHERE "
                                    "DevicesID = ?"),
                     {office, gate});
}

void TestEditorScreenshots::editors_data()
{
    QTest::addColumn<int>("editor");
    QTest::newRow("editor-devices.png") << 0;
    QTest::newRow("editor-device-configs.png") << 1;
    QTest::newRow("editor-locations.png") << 2;
    QTest::newRow("editor-email-configs.png") << 3;
}

void TestEditorScreenshots::editors()
{
    QFETCH(int, editor);
    const QStringList zones{QStringLiteral("Australia/Adelaide"), QStringLiteral("Australia/Perth"),
                            QStringLiteral("Pacific/Auckland")};
    std::unique_ptr<QDialog> form;
    if (editor == 0)
        form = std::make_unique<Veltrix::TDBDeviceForm>(nullptr, m_fx.db.get());
    else if (editor == 1)
        form = std::make_unique<Veltrix::TDBDeviceConfigForm>(nullptr, m_fx.db.get());
    else if (editor == 2)
        form = std::make_unique<Veltrix::TDBLocationConfigForm>(nullptr, m_fx.db.get(), zones);
    else
        form = std::make_unique<Veltrix::TDBEmailConfigForm>(nullptr, m_fx.db.get(), 0);
    runAndClose(*form);
    // The offscreen screen is small, and a window is kept to two thirds of it.
    form->resize(form->sizeHint());
    const QImage image = form->grab().toImage();
    QVERIFY(image.width() > 200 && image.height() > 100);
    // Something was drawn besides the background.
    QVERIFY(image.pixel(0, 0) != image.pixel(image.width() / 2, 20) ||
            image.pixel(0, 0) != image.pixel(image.width() / 2, image.height() / 2));
    const QString target = qEnvironmentVariable("VX_SCREENSHOT_DIR");
    if (!target.isEmpty())
        QVERIFY(image.save(target + QLatin1Char('/') + QLatin1String(QTest::currentDataTag())));
}

QTEST_MAIN(TestEditorScreenshots)
#include "tst_editorscreenshots.moc"
