#include "platform/WindowFont.h"

#include <QFile>
#include <QFontDatabase>

namespace utq::platform {
namespace {

void provideTahoma() {
    static const bool done = [] {
        if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
            return true;
        for (const char* file :
             {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
            if (QFile::exists(QLatin1String(file)))
                QFontDatabase::addApplicationFont(QLatin1String(file));
        if (!QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
            QFont::insertSubstitutions(QStringLiteral("Tahoma"), {QStringLiteral("DejaVu Sans"),
                                                                  QStringLiteral("Sans Serif")});
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)done;
}

} // namespace

QFont windowsFont(const QString& family, qreal pointSize, bool bold) {
    provideTahoma();
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace utq::platform
