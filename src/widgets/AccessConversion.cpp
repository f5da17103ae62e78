#include "AccessConversion.h"

#include "AccessImport.h"
#include "Dialogs.h"
#include "FileStamp.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QScopeGuard>

#include <algorithm>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace AccessConversion {

namespace {

// Files this run could not convert, as they were then. The collector tries
// again at every database-mode drop; one the user was told about and that
// nobody changed since fails quietly, like any database that cannot be used.
std::vector<FileStamp>& refused()
{
    static std::vector<FileStamp> stamps;
    return stamps;
}

} // namespace

bool convert(Dialogs& dialogs, QWidget* parent, const QString& path, int showProgressAfterMs)
{
    if (!AccessFile::isAccess(path))
        return true;
    // The progress window and the questions run event loops, in which a drop
    // or a collected text may want the database again: it waits for this one.
    static bool converting = false;
    if (converting)
        return false;
    converting = true;
    const auto done = qScopeGuard([] { converting = false; });
    const std::optional<FileStamp> before = FileStamp::of(path);
    if (before && std::ranges::find(refused(), *before) != refused().end())
        return false;
    const QString name = QFileInfo(path).fileName();
    const QString title = u"提示"_s;

    AccessImport import;
    import.setLockWait(0);
    import.acceptShortRead = [&](qint64 read, qint64, const QString& why) {
        return dialogs.message(parent,
                               why + u"\n\n是否只转换能读出的 "_s + QString::number(read)
                                   + u" 条记录？原文件会保留。"_s,
                               title, Dialogs::Icon::Question, Dialogs::Buttons::YesNo)
               == Dialogs::Answer::Yes;
    };
    QElapsedTimer started;
    started.start();
    std::unique_ptr<QProgressDialog> dialog;
    import.progress = [&](qint64 done, qint64 expected) {
        if (!dialog) {
            if (started.elapsed() < showProgressAfterMs)
                return;
            dialog = std::make_unique<QProgressDialog>(
                u"正在转换 Access 数据库 "_s + name + u"……"_s, QString(), 0, 0, parent);
            dialog->setWindowTitle(title);
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->setCancelButton(nullptr); // a half conversion is never kept anyway
            dialog->setMinimumDuration(0);
            dialog->setMinimumWidth(360);
            dialog->show();
        }
        const int total = int(qMin<qint64>(expected, INT_MAX - 1));
        dialog->setMaximum(qMax(total, 0));
        dialog->setValue(int(qMin<qint64>(done, qMax(total, 0))));
    };

    const AccessImport::Outcome outcome = import.convertInPlace(path);
    dialog.reset();
    switch (outcome) {
    case AccessImport::Outcome::NotAccess:
        return true;
    case AccessImport::Outcome::Done:
        dialogs.message(parent,
                        name + u" 是旧版本使用的 Access 数据库，已转换为本程序的数据库：共 "_s
                            + QString::number(import.recordsRead()) + u" 条记录。\n原文件保留为 "_s
                            + QFileInfo(import.keptPath()).fileName() + u"。"_s,
                        title, Dialogs::Icon::Information, Dialogs::Buttons::Ok);
        return true;
    case AccessImport::Outcome::Busy:
        dialogs.message(parent, import.message(), title, Dialogs::Icon::Information,
                        Dialogs::Buttons::Ok);
        return false;
    case AccessImport::Outcome::Declined:
    case AccessImport::Outcome::Failed:
        if (before && FileStamp::of(path) == before)
            refused().push_back(*before);
        dialogs.message(parent,
                        import.message() + u"\n\n"_s + name + u" 未作任何改动。"_s, title,
                        Dialogs::Icon::Warning, Dialogs::Buttons::Ok);
        return false;
    }
    return false;
}

} // namespace AccessConversion
