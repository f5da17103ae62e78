#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class BatchProgress;
class Dialogs;
class QWidget;

// "导出全部…" and `quorrel --export-all FILE`: every record of the document
// database, in record order, into one file for the note-taking programs
// people move their clippings into, with its title, content, source title,
// address and time:
//
// - Markdown (.md): each record a level-1 heading (its title), a list of
//   whichever of 来源标题, 来源网址 and 收集时间 it has, and its content in
//   a fenced code block whose fence is longer than any run of backticks in
//   it. Titles and list values escape every character Markdown could read
//   as markup and write runs of spaces, line breaks and other control
//   characters as character references, so a Markdown reader gives them
//   back exactly; the address is an autolink where it is a plain http(s)
//   one. Markdown readers drop carriage returns: content whose lines all
//   end in CR LF is written with LF and the block marked {.crlf}; content
//   with other carriage returns is written as a JSON string in a block
//   marked {.json}.
// - JSON Lines (.jsonl): one object a line with the keys title, content,
//   source_title, source_url and collected_at (empty strings where none).
//
// The file is written safely (SafeFile::Writer) as the records are read, a
// group at a time, so a million records are never held in memory; reading
// keeps no lock on the database between groups.
namespace DocumentExport {

enum class Format { Markdown, JsonLines };
// By the name's suffix (.md, .markdown, .jsonl; any case); nullopt for others.
std::optional<Format> formatOf(const QString& path);

struct Record {
    QString title;
    QString content;
    QString sourceTitle;
    QString sourceUrl;
    QString collected;
};
QByteArray markdownOf(const Record& record);
QByteArray jsonLineOf(const Record& record);

struct Result {
    qint64 done = 0;        // records written (the file exists only when all were)
    bool cancelled = false; // the user stopped it; the file is left as it was
    QString error;          // why it failed, in Chinese; "" otherwise
};

Result exportTo(const QString& database, const QString& path, Format format,
                BatchProgress& progress);

// The browser's "导出全部…": the save dialog "导出全部" offering both types,
// then exportTo; a failure is reported in a message box. A name of neither
// type is refused with a message.
Result exportAsked(Dialogs& dialogs, QWidget* parent, const QString& database,
                   BatchProgress& progress);

// `quorrel --export-all FILE` for the database `database`: the exit status
// (0 written, 1 failed or interrupted, 2 a file of neither type), the line for
// standard output in `out` and the one for standard error in `err`.
int exportCommand(const QString& file, const QString& database, BatchProgress& progress,
                  QString* out, QString* err);

} // namespace DocumentExport
