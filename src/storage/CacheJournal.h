#pragma once

#include "FileStamp.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The durable copy of the text cached for Doc.dat: every cached drop is
// appended here and synced to the disk before the drop counts as saved, so
// the text survives any end of the process and is written to Doc.dat at the
// next start.
//
// The file is a header line and a sequence of records, each
//     <kind> <length> <crc32 in 8 hex digits> LF <payload of length bytes> LF
// so that the text stays readable to a person who opens the file, and a record
// torn by a crash in the middle of its write is recognised and ignored (it was
// never acknowledged). A damaged record is skipped; the records after it count.
// Kinds:
//     T  text: one cached drop, UTF-8
//     H  hand-over: everything before it is being appended to Doc.dat, which
//        had the stamp in the payload (or did not exist: "none") just before
//     D  done: everything before it is in Doc.dat (only when the file could not
//        be removed)
class CacheJournal {
public:
    static const QByteArray Header;

    struct Contents {
        QString text;                             // the texts not yet in Doc.dat
        bool handedOver = false;                  // an H record ends the file
        std::optional<FileStamp> documentBefore;  // ... with this stamp of Doc.dat
        qint64 validSize = 0;                     // bytes up to the end of the last whole record
        qint64 ignoredSize = 0;                   // a torn tail after it
    };

    static Contents parse(QByteArrayView bytes);
    static QByteArray record(char kind, QByteArrayView payload);

    explicit CacheJournal(const QString& path = {});
    ~CacheJournal();
    CacheJournal(const CacheJournal&) = delete;
    CacheJournal& operator=(const CacheJournal&) = delete;

    const QString& path() const { return m_path; }
    // Points the journal at another file (closing the current one).
    void setPath(const QString& path);

    bool exists() const;

    // What the file holds; empty contents when there is no file. Opens the
    // file and cuts a torn tail off, so the next record follows a whole one.
    // A link or anything but a regular file at the name is an error, and so
    // is then every append: nothing is read, cut or waited on through it.
    std::optional<Contents> open(QString* error = nullptr);

    // One cached drop, on the disk when this returns true.
    bool append(const QString& text, QString* error = nullptr);
    // Written right before the cached text is appended to Doc.dat, whose stamp
    // is `document` (nullopt: no such file yet).
    bool beginHandOver(const std::optional<FileStamp>& document, QString* error = nullptr);
    // The cached text is in Doc.dat: the journal goes.
    bool retire(QString* error = nullptr);

private:
    bool ensureOpen(QString* error);
    bool appendRecord(char kind, QByteArrayView payload, QString* error);
    void close();

    QString m_path;
    int m_fd = -1;
    qint64 m_size = 0; // the end of the last whole record
};
