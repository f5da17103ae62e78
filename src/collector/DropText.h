#pragma once

#include <QString>

#include <optional>

class QMimeData;

// What a drag gives the collector to store: its plain-text form, or nothing.
namespace DropText {

// Whether the drag offers a plain-text form at all: decided from the formats
// alone, so a drag passing over the face costs no transfer of its data.
// (QMimeData::hasText() also says yes to a bare list of dragged files.)
bool hasPlainText(const QMimeData& data);

// The drag's text, or nullopt for a drag that carries no text a user chose:
// no plain-text form at all, or a plain-text form that only names the local
// files being dragged (as GTK file managers offer it beside the file list).
// A link or image dragged from a page keeps its URL: the page offered it.
std::optional<QString> of(const QMimeData& data);

// The text as the program keeps it: line breaks as LF, no U+0000.
QString clean(QString text);

} // namespace DropText
