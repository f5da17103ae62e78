#pragma once

#include <QString>

// The folder that holds the program and its data files (Set.ini, Doc.dat,
// WebDocuments.mdb, Documents/), always with exactly one trailing '/'.
// It is empty until the collector has loaded; every window forms its paths
// from it, so a test points the whole program at a temporary folder with
// ProgramDirOverride.
QString ProgramDir();

namespace ProgramDirectory {

// Works out the folder from the executable's location (or the override) and
// makes it the value of ProgramDir().
void resolve();

// `dir` with one trailing '/' ("" stays "/").
QString withTrailingSlash(const QString& dir);

} // namespace ProgramDirectory

// While alive, resolve() takes `dir` instead of the executable's folder.
class ProgramDirOverride {
public:
    explicit ProgramDirOverride(const QString& dir);
    ~ProgramDirOverride();
    ProgramDirOverride(const ProgramDirOverride&) = delete;
    ProgramDirOverride& operator=(const ProgramDirOverride&) = delete;

private:
    QString m_previous;
    QString m_previousValue;
};
