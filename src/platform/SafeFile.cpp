#include "SafeFile.h"

#include <QFile>
#include <QSaveFile>

namespace SafeFile {
namespace {

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

bool write(const QString& path, QByteArrayView data, QString* error)
{
    return write(path, std::span<const QByteArrayView>(&data, 1), error);
}

bool write(const QString& path, std::span<const QByteArrayView> parts, QString* error)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, file.errorString());
    const auto failed = [&file, error] {
        const QString message = file.errorString();
        file.cancelWriting();
        return fail(error, message);
    };
    for (const QByteArrayView data : parts) {
        if (file.write(data.data(), data.size()) != data.size())
            return failed();
    }
    // Flush here: commit() does not notice a buffer that fails to reach the
    // disk, and would put a short file in place of the old one.
    if (!file.flush())
        return failed();
    if (!file.commit())
        return fail(error, file.errorString());
    return true;
}

bool createExclusive(const QString& path, QByteArrayView data, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return fail(error, file.errorString());
    if (file.write(data.data(), data.size()) != data.size() || !file.flush()) {
        const QString message = file.errorString();
        file.close();
        file.remove(); // a numbered file holds one whole drop or does not exist
        return fail(error, message);
    }
    file.close();
    return file.error() == QFileDevice::NoError || fail(error, file.errorString());
}

} // namespace SafeFile
