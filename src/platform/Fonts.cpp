#include "Fonts.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace Fonts {

QFont songTi(qreal points)
{
    QFont font;
    font.setFamilies({u"宋体"_s, u"SimSun"_s, u"Noto Serif CJK SC"_s, u"Noto Sans CJK SC"_s,
                      u"WenQuanYi Zen Hei"_s});
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(points);
    return font;
}

} // namespace Fonts
