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
    // --source-title T, --source-url U: given for the text, in place of what
    // the desktop would tell (a script's own source).
    std::optional<QString> sourceTitle;
    std::optional<QString> sourceUrl;
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
    QString address; // the page's address the clipboard carries with it, if any
};

// The selection's text (the clipboard's where the platform has no
// selection), or the clipboard's, as a drop of that data would give it:
// an image or a list of files is no text, and neither is an empty one.
Choice fromClipboards(Source source, const Clipboards& clipboards);

// The address of the page a browser copied from, where its data offers one:
// `text/x-moz-url-priv` (Firefox) or `chromium/x-source-url` (Chromium), the
// first line of UTF-8 or UTF-16 text; "" rather than a guess.
QString addressIn(const QMimeData& data);

// Standard input, read as the program reads text files (UTF-8, else GB18030).
Choice fromInput(QByteArrayView bytes);

// Whether the collector stores `text` at all: as it keeps it, it is not empty.
bool isCollectable(const QString& text);

} // namespace CollectRequest
