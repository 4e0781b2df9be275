#include "applicationstyles.h"

#include "vxresources.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QTextStream>

namespace Veltrix {
namespace Server {
namespace Controller {

void applyFontsAndStyles()
{
    vxInitResources();
    QFontDatabase::removeAllApplicationFonts();
    const char *const fonts[] = {
        ":/resources/Switzerland Condensed Bold.ttf",
        ":/resources/arial.ttf",
        ":/resources/arialbd.ttf",
        ":/resources/cmunss.ttf",
        ":/resources/texgyrepagella-regular.otf",
    };
    for (const char *font : fonts)
        QFontDatabase::addApplicationFont(QString::fromLatin1(font));

    QString styleSheet;
    QFile file(QStringLiteral(":/resources/style.css"));
    if (file.open(QIODevice::ReadOnly)) {
        QTextStream stream(&file);
        styleSheet = stream.readAll();
    }
    qApp->setStyleSheet(styleSheet);
}

} // namespace Controller
} // namespace Server
} // namespace Veltrix
