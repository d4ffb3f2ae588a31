#include "common/StdFuncsMiscWindows.h"

#include <QStringList>

QFont ClassicFont(int PixelSize, bool Bold) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans")});
    font.setPixelSize(PixelSize);
    font.setBold(Bold);
    return font;
}
