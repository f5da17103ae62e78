#pragma once

#include <QByteArrayView>
#include <QString>
#include <span>

// Whole-file writes that never leave a half-written file behind: the data goes
// to a temporary file beside the target, which replaces the target only once
// everything has been written and flushed.
namespace SafeFile {

bool write(const QString& path, QByteArrayView data, QString* error = nullptr);
// The same, the data given as consecutive parts (nothing is joined in memory).
bool write(const QString& path, std::span<const QByteArrayView> parts, QString* error = nullptr);

// Creates `path` as a new file holding `data`; fails, touching nothing, when a
// file of that name exists already (whoever created it, whenever).
bool createExclusive(const QString& path, QByteArrayView data, QString* error = nullptr);

} // namespace SafeFile
