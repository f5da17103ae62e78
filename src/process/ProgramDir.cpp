#include "ProgramDir.h"

#include <QCoreApplication>

namespace {

QString& current()
{
    static QString dir;
    return dir;
}

QString& overridden()
{
    static QString dir;
    return dir;
}

} // namespace

QString ProgramDir()
{
    return current();
}

namespace ProgramDirectory {

QString withTrailingSlash(const QString& dir)
{
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

void resolve()
{
    const QString dir =
        overridden().isEmpty() ? QCoreApplication::applicationDirPath() : overridden();
    current() = withTrailingSlash(dir);
}

} // namespace ProgramDirectory

ProgramDirOverride::ProgramDirOverride(const QString& dir)
    : m_previous(overridden()), m_previousValue(current())
{
    overridden() = dir;
    ProgramDirectory::resolve();
}

ProgramDirOverride::~ProgramDirOverride()
{
    overridden() = m_previous;
    current() = m_previousValue;
}
