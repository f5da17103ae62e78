#include "Settings.h"

#include "Encoding.h"
#include "IniFile.h"
#include "ProgramDir.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype MaxValueBytes = 254;
constexpr QByteArrayView Section = "CollectorSet";

// The save folder: a path cut to 254 bytes would be another folder.
bool isReadWhole(const QString& key)
{
    return key.compare(u"filepath"_s, Qt::CaseInsensitive) == 0;
}

QString settingsPath()
{
    return ProgramDir() + u"Set.ini"_s;
}

QString upToNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

} // namespace

QString ReadSetting(const QString& key, const QString& defaultValue)
{
    const auto raw = Ini::readValue(settingsPath(), Section, key.toUtf8());
    QString value = defaultValue;
    if (raw) {
        QByteArray bytes = *raw;
        if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
            bytes.truncate(nul);
        value = Encoding::decodeNarrow(bytes);
    }
    value = upToNul(value);
    return isReadWhole(key) ? value : Encoding::truncateUtf8(value, MaxValueBytes);
}

bool WriteSetting(const QString& key, const QString& value)
{
    // A value is one line of text: a line break would start a new entry.
    QString text = upToNul(value);
    if (const qsizetype cut = text.indexOf(QRegularExpression(u"[\r\n]"_s)); cut >= 0)
        text.truncate(cut);
    return Ini::writeValue(settingsPath(), Section, key.toUtf8(), Encoding::encodeNarrow(text));
}

bool WriteSettingWhole(const QString& key, const QString& value)
{
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    // Reading drops blanks at the ends and stops at a line break or NUL.
    if (value.contains(u'\r') || value.contains(u'\n') || value.contains(QChar(u'\0')) ||
        (!value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()))) ||
        Encoding::decodeNarrow(Encoding::encodeNarrow(value)) != value)
        return false;
    if (!isReadWhole(key) && Encoding::truncateUtf8(value, MaxValueBytes) != value)
        return false;
    return WriteSetting(key, value);
}

namespace SettingRules {

QString saveMode(const QString& value)
{
    if (value == u"create"_s || value == u"database"_s)
        return value;
    return u"append"_s;
}

QString resolveFilePath(const QString& value, const QString& programDir)
{
    if (value == u"default"_s)
        return programDir + u"Documents/"_s;
    return value.endsWith(u'/') ? value : value + u'/';
}

namespace {

std::optional<int> coordinate(const QString& text)
{
    bool ok = false;
    double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok)
        value = QLocale::system().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default mode sends halves to even
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<int>(rounded);
}

} // namespace

std::optional<Position> position(const QString& left, const QString& top)
{
    if (left == False || top == False)
        return std::nullopt;
    const auto x = coordinate(left);
    const auto y = coordinate(top);
    if (!x || !y)
        return std::nullopt;
    return Position{*x, *y};
}

QString twipsText(double twips)
{
    return QString::number(static_cast<float>(twips), 'g', 7);
}

} // namespace SettingRules
