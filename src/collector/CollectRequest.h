#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

class QMimeData;

// `quorrel --collect`: which text a collect request hands to the collector,
// decided apart from any clipboard or process, so every case can be tested.
namespace CollectRequest {

enum class Source {
    Selection,     // --collect: the text just selected (PRIMARY)
    Clipboard,     // --collect-clipboard
    StandardInput, // --collect -
};

struct Parsed {
    std::optional<Source> source; // nullopt: not a collect request (a plain start)
    QString error;                // set for a collect request with wrong arguments
};

// The arguments after the program's name.
Parsed parse(const QStringList& arguments);

// What the platform offers; either data may be null.
struct Clipboards {
    bool hasSelection = false; // the platform keeps a PRIMARY selection at all
    const QMimeData* selection = nullptr;
    const QMimeData* clipboard = nullptr;
};

// The text to hand over, or why there is none (a line for standard error).
struct Choice {
    std::optional<QString> text;
    QString problem;
};

// The selection's text (the clipboard's where the platform has no
// selection), or the clipboard's, as a drop of that data would give it:
// an image or a list of files is no text, and neither is an empty one.
Choice fromClipboards(Source source, const Clipboards& clipboards);

// Standard input, read as the program reads text files (UTF-8, else GB18030).
Choice fromInput(QByteArrayView bytes);

// Whether the collector stores `text` at all: as it keeps it, it is not empty.
bool isCollectable(const QString& text);

} // namespace CollectRequest
