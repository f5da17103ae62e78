#pragma once

#include <QString>

// `quorrel --import-access FILE`: appends the records of FILE's table
// WebDocuments to `programDir`'s WebDocuments.mdb, converting that one first
// if it is an Access file itself. Returns the exit status; `out` gets the
// line to print on standard output, `err` the one for standard error.
int importAccessCommand(const QString& file, const QString& programDir, QString* out,
                        QString* err);
