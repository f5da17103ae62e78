#include "AccessCommand.h"

#include "AccessImport.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

int importAccessCommand(const QString& file, const QString& programDir, QString* out,
                        QString* err)
{
    const QString target = QDir(programDir).filePath(u"WebDocuments.mdb"_s);
    if (!QFileInfo(file).isFile()) {
        *err = file + u": 文件不存在"_s;
        return 1;
    }
    if (QFileInfo(file).canonicalFilePath() == QFileInfo(target).canonicalFilePath()) {
        *err = file + u": 这就是本程序的数据库"_s;
        return 1;
    }
    // No one to ask on the command line: a file that cannot be read whole is refused.
    AccessImport own;
    const AccessImport::Outcome converted = own.convertInPlace(target);
    if (converted == AccessImport::Outcome::Failed || converted == AccessImport::Outcome::Declined
        || converted == AccessImport::Outcome::Busy) {
        *err = own.message();
        return 1;
    }
    if (converted == AccessImport::Outcome::Done)
        *out = target + u": 已转换 "_s + QString::number(own.recordsRead())
               + u" 条记录，原文件保留为 "_s + own.keptPath() + u"\n"_s;

    AccessImport import;
    const AccessImport::Outcome outcome = import.appendTo(file, target);
    if (outcome != AccessImport::Outcome::Done) {
        *err = import.message();
        return 1;
    }
    *out += u"已添加 "_s + QString::number(import.recordsRead()) + u" 条记录\n"_s;
    return 0;
}
