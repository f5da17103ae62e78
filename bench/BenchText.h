#pragma once

#include <QRandomGenerator>
#include <QString>

// The text the benchmarks load, save and show.
namespace Bench {

// Text whose UTF-8 form has about `bytes` bytes, as clippings are: Chinese
// phrases and English words in lines of 20 to 80 characters.
inline QString document(qsizetype bytes)
{
    QRandomGenerator random(42);
    QString text;
    qsizetype utf8 = 0;
    while (utf8 < bytes) {
        const int line = int(random.bounded(20, 80));
        for (int n = 0; n < line;) {
            const int run = int(random.bounded(2, 10));
            const bool chinese = random.bounded(2);
            for (int i = 0; i < run; ++i, ++n) {
                text += chinese ? QChar(char16_t(0x4E00 + random.bounded(0x51A6)))
                                : QChar(char16_t('a' + random.bounded(26)));
                utf8 += chinese ? 3 : 1;
            }
            if (!chinese) {
                text += u' ';
                ++utf8;
            }
        }
        text += u'\n';
        utf8 += 1;
    }
    return text;
}

} // namespace Bench
