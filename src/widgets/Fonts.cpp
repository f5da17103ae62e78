#include "Fonts.h"

#include <QFontDatabase>

using namespace Qt::StringLiterals;

namespace Fonts {

QStringList songtiFamilies()
{
    return {u"宋体"_s,
            u"SimSun"_s,
            u"NSimSun"_s,
            u"Noto Serif CJK SC"_s,
            u"Source Han Serif SC"_s,
            u"AR PL UMing CN"_s,
            u"Noto Sans CJK SC"_s,
            u"Source Han Sans SC"_s,
            u"WenQuanYi Zen Hei"_s,
            u"Droid Sans Fallback"_s};
}

QFont songti(qreal pointSize)
{
    QFont font;
    QStringList installed;
    for (const QString& family : songtiFamilies()) {
        if (QFontDatabase::hasFamily(family))
            installed << family;
    }
    // The rest of the list stays behind the first installed one: a glyph it
    // lacks is looked for in the next before the system's own fallback.
    if (!installed.isEmpty())
        font.setFamilies(installed);
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace Fonts
