// The compiled-in resources and what applyFontsAndStyles() makes of them.

#include "applicationstyles.h"
#include "vxresources.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QTest>

using Veltrix::Server::Controller::applyFontsAndStyles;

class TestApplicationStyles : public QObject
{
    Q_OBJECT
private slots:
    void resourcesArePresent_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name :
             {"VXS_Uninstalled.png", "VXS_Stopped.png", "VXS_Starting.png", "VXS_Running.png",
              "VeltrixLogo.png", "Switzerland Condensed Bold.ttf", "arial.ttf", "arialbd.ttf", "cmunss.ttf",
              "texgyrepagella-regular.otf", "style.css"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void resourcesArePresent()
    {
        QFETCH(QString, name);
        vxInitResources();
        QFile file(QStringLiteral(":/resources/") + name);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(name));
        QVERIFY(file.size() > 100);
        if (name.endsWith(QLatin1String(".png")))
            QVERIFY(!QImage(file.fileName()).isNull());
    }
    void trayIconsAreLegibleAndDistinct()
    {
        vxInitResources();
        QList<QImage> icons;
        for (const char *name :
             {"VXS_Uninstalled.png", "VXS_Stopped.png", "VXS_Starting.png", "VXS_Running.png"}) {
            const QImage image(QStringLiteral(":/resources/") + QLatin1String(name));
            QVERIFY(image.width() >= 16 && image.width() <= 64);
            QCOMPARE(image.width(), image.height());
            QVERIFY(image.hasAlphaChannel());
            icons << image.convertToFormat(QImage::Format_ARGB32);
        }
        for (int a = 0; a < icons.size(); ++a)
            for (int b = a + 1; b < icons.size(); ++b)
                QVERIFY2(icons.at(a) != icons.at(b), "two states share a picture");
        const QImage logo(QStringLiteral(":/resources/VeltrixLogo.png"));
        QVERIFY(logo.width() > 2 * logo.height()); // a banner
    }
    void fontsAndStyleSheetApplied()
    {
        applyFontsAndStyles();
        applyFontsAndStyles(); // again: replaces, does not add
        const QStringList families = QFontDatabase().families();
        for (const char *family :
             {"Liberation Sans Narrow", "Liberation Sans", "CMU Sans Serif", "TeX Gyre Pagella"})
            QVERIFY2(families.contains(QLatin1String(family)), family);
        QVERIFY(qApp->styleSheet().contains(QLatin1String("fHLineCustom")));
        QVERIFY(qApp->styleSheet().contains(QLatin1String("lBanner")));
    }
};

QTEST_MAIN(TestApplicationStyles)
#include "tst_applicationstyles.moc"
