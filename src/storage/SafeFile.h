#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>
#include <span>

// Whole-file writes that never leave a half-written file behind: the data goes
// to a temporary file beside the target and is synced to the disk; only then
// does the file take the target's name, and the folder is synced so the new
// name survives a power loss too.
//
// The temporary files are hidden and named ".<target>.XXXXXX.quorrel-tmp", so
// that one left behind by a crash is recognised and removed at the next start
// (removeLeftovers), and no "*.txt" pattern ever matches it.
namespace SafeFile {

// Files and folders the program makes are its user's alone: clippings are
// private. A file that is replaced keeps the mode it had, so one shared on
// purpose stays shared.
constexpr unsigned PrivateMode = 0600;
constexpr unsigned PrivateFolderMode = 0700;

// Makes the folder `path` (one level), private; true when it exists now.
bool makeFolder(const QString& path);

// A file the user chose: a link at `path` is followed, and its target replaced.
bool write(const QString& path, QByteArrayView data, QString* error = nullptr);
// The same, the data given as consecutive parts (nothing is joined in memory).
bool write(const QString& path, std::span<const QByteArrayView> parts, QString* error = nullptr);

// The program's own files (Doc.dat, Doc.dat.pending, Set.ini): at their
// names the program takes only a regular file. A link is never followed,
// and a FIFO, device, socket or folder never opened or replaced, so nothing
// of anyone's elsewhere is read, changed or waited on through such a name.

// Opens an own file with `flags` (O_CREAT creates it, `mode` then); never
// blocks. -1 with errno set on failure; ELOOP for a link, EINVAL for
// anything that is not a regular file.
int openOwn(const QString& path, int flags, unsigned mode = PrivateMode);
// The whole of an own file; nullopt on failure, with `code` the errno
// (ENOENT: there is no such file).
// Everything left to read from `fd` (not closed); nullopt with errno set on
// a read error.
std::optional<QByteArray> readAll(int fd);
std::optional<QByteArray> readOwn(const QString& path, QString* error = nullptr,
                                  int* code = nullptr);
// write() for an own file: refused when something other than a regular file
// has the name.
bool writeOwn(const QString& path, QByteArrayView data, QString* error = nullptr);
bool writeOwn(const QString& path, std::span<const QByteArrayView> parts,
              QString* error = nullptr);

// Creates `path` as a new file holding `data`; fails, touching nothing, when a
// file of that name exists already (whoever created it, whenever). The file
// appears whole or not at all.
bool createExclusive(const QString& path, QByteArrayView data, QString* error = nullptr);

// Whether `fileName` (no folder) is the name of one of our temporary files.
bool isLeftover(const QString& fileName);

// Removes the temporary files a crash left in `dir`; the number removed.
int removeLeftovers(const QString& dir);

// Syncs a folder's entries (new, renamed and removed names) to the disk.
// Folders that cannot be synced (some file systems refuse) count as synced.
void syncFolder(const QString& dir);

// The folder holding `path`.
QString folderOf(const QString& path);

// A whole file written in parts as they come, as write() writes it: a
// temporary file beside `path` takes the name, synced, only at commit(); one
// never committed is removed. For outputs too large to be held at once.
class Writer {
public:
    explicit Writer(const QString& path);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // False once anything failed; errorCode() then says why (an errno).
    bool append(QByteArrayView data);
    bool commit();
    int errorCode() const;

private:
    struct Temp;
    std::unique_ptr<Temp> m_temp;
    QString m_target;
    QByteArray m_buffer;
    int m_error = 0;
    bool flush();
};

} // namespace SafeFile
