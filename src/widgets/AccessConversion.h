#pragma once

#include <QString>

class Dialogs;
class QWidget;

// Converts an Access WebDocuments.mdb (the older tools' database) where the
// program finds one, as a window does it: a question when not every record
// can be read, progress when it takes more than `showProgressAfterMs`, and a
// "提示" that says how many records came over and where the original is kept,
// or why nothing was changed.
namespace AccessConversion {

// True when `path` is no Access file (any more).
bool convert(Dialogs& dialogs, QWidget* parent, const QString& path,
             int showProgressAfterMs = 500);

} // namespace AccessConversion
