#pragma once

#include <QString>

#include <optional>

// The settings file: section "CollectorSet" of ProgramDir() + "Set.ini".
// Each call is one complete access to the file; nothing is cached.

// The value of `key`, or `defaultValue` when the file, the section or the key
// is missing. The value ends at its first NUL and keeps at most 254 bytes of
// UTF-8, never half a character; only `filepath` is read whole, since a cut
// path names another folder. Each value is decoded on its own (UTF-8 when
// valid, else GB18030), so a GBK line beside UTF-8 lines reads right.
QString ReadSetting(const QString& key, const QString& defaultValue);

// Sets `key` to `value` (UTF-8), replacing an existing entry in place; the
// value ends at its first line break. A failed write leaves the old file
// whole; true when the file took the value.
bool WriteSetting(const QString& key, const QString& value);

// Writes `value` only when it reads back exactly as given (no line break or
// NUL, no blanks at its ends, within the cut of its key): true when the file
// holds it now; otherwise nothing is written.
bool WriteSettingWhole(const QString& key, const QString& value);

// How read values are taken. Every comparison is exact and case-sensitive.
namespace SettingRules {

inline const QString True = QStringLiteral("true");
inline const QString False = QStringLiteral("false");

inline bool onUnlessFalse(const QString& value) { return value != False; }
inline bool onlyIfTrue(const QString& value) { return value == True; }
inline QString boolWord(bool on) { return on ? True : False; }

// "create" or "database" as they stand; anything else is "append".
QString saveMode(const QString& value);

// "default" gives `programDir` + "Documents/"; any other text is a directory
// that gets one trailing '/' when it lacks one ("" becomes "/").
QString resolveFilePath(const QString& value, const QString& programDir);

struct Position {
    int left;
    int top;
};
// Twips from two stored values; nullopt when either is "false", is no
// number, or rounds (halves to even) outside -32768..32767.
std::optional<Position> position(const QString& left, const QString& top);

// A coordinate in twips as stored: plain decimal, fraction only when needed.
QString twipsText(double twips);

} // namespace SettingRules
