#include "CollectCommand.h"

#include "CollectChannel.h"
#include "CollectRequest.h"
#include "ProgramDir.h"

#include <QClipboard>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A collector started for the request may take this long to listen on a
// busy machine.
constexpr int StartTimeoutMs = 30000;

int fail(int code, const QString& message)
{
    std::fputs((u"quorrel: "_s + message + u'\n').toUtf8().constData(), stderr);
    return code;
}

// Read here, in the process the key press started, not in the collector: it
// is the one that has the display the user pressed the key on, it can say
// "no text" on its own standard error without waking a collector, and the
// channel then carries plain text whatever the source.
CollectRequest::Choice readClipboards(CollectRequest::Source source)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    CollectRequest::Clipboards offered;
    offered.hasSelection = clipboard->supportsSelection();
    // Only the one asked for is fetched from its owner.
    if (source == CollectRequest::Source::Selection && offered.hasSelection)
        offered.selection = clipboard->mimeData(QClipboard::Selection);
    else
        offered.clipboard = clipboard->mimeData(QClipboard::Clipboard);
    return CollectRequest::fromClipboards(source, offered);
}

CollectRequest::Choice readStandardInput()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return {std::nullopt, u"标准输入读不出来"_s, {}};
    const QByteArray bytes = input.read(CollectChannel::MaxTextBytes + 1);
    if (bytes.size() > CollectChannel::MaxTextBytes)
        return {std::nullopt, u"标准输入太长"_s, {}};
    return CollectRequest::fromInput(bytes);
}

// A plain start of this program, cut loose from our terminal and pipes so a
// script waiting for our output is not kept waiting for the collector's end.
bool startCollector()
{
    QProcess collector;
    collector.setProgram(QCoreApplication::applicationFilePath());
    collector.setWorkingDirectory(ProgramDir());
    collector.setStandardInputFile(QProcess::nullDevice());
    collector.setStandardOutputFile(QProcess::nullDevice());
    collector.setStandardErrorFile(QProcess::nullDevice());
    return collector.startDetached();
}

int handOver(const QString& text, const CollectSource& source)
{
    ProgramDirectory::resolve();
    QString problem;
    const QStringList paths = CollectChannel::pathsFor(ProgramDir(), &problem);
    if (paths.isEmpty())
        return fail(3, problem);
    using Result = CollectChannel::Result;
    QString detail;
    Result result = CollectChannel::send(paths, text, source, 30000, &detail);
    if (result == Result::NoCollector) {
        if (!startCollector())
            return fail(3, u"收集器无法启动"_s);
        // Started at once by us or, in a race, by another request: either
        // way the one that holds the lock soon listens.
        const QDeadlineTimer deadline(StartTimeoutMs);
        while (result == Result::NoCollector && !deadline.hasExpired()) {
            QThread::msleep(50);
            result = CollectChannel::send(paths, text, source, 30000, &detail);
        }
    }
    switch (result) {
    case Result::Taken:
        return 0;
    case Result::NoCollector:
        return fail(3, u"收集器没有应答"_s);
    case Result::Refused:
        return fail(3, u"收集器没有收下这段文字（其中没有可保存的文字，或程序文件夹写不进去）"_s);
    case Result::Untrusted:
        return fail(3, u"收集器的通道不属于本用户，文字没有发出\n"_s + detail);
    case Result::Failed:
        break;
    }
    return fail(3, u"没能把文字交给收集器"_s);
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

namespace CollectCommand {

std::optional<int> runIfAsked(int& argc, char** argv, const ActiveTitle& activeTitle)
{
    const QDateTime ran = QDateTime::currentDateTime(); // not when standard input ends
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CollectRequest::Parsed request = CollectRequest::parse(arguments);
    if (!request.source)
        return std::nullopt;
    if (!request.error.isEmpty())
        return fail(2, request.error);

    CollectRequest::Choice choice;
    std::unique_ptr<QCoreApplication> app;
    if (*request.source == CollectRequest::Source::StandardInput) {
        app = std::make_unique<QCoreApplication>(argc, argv);
        choice = readStandardInput();
    } else {
        // Without a display QGuiApplication would abort with a long story.
        if (!hasDisplay())
            return fail(1, u"没有图形界面，读不到选中的文字（可用 --collect - 从标准输入收集）"_s);
        app = std::make_unique<QGuiApplication>(argc, argv);
        choice = readClipboards(*request.source);
    }
    if (!choice.text)
        return fail(1, choice.problem);
    CollectSource source;
    source.time = ran.toString(u"yyyy-MM-dd HH:mm:ss"_s);
    source.url = request.sourceUrl.value_or(choice.address);
    if (request.sourceTitle)
        source.title = *request.sourceTitle;
    else if (*request.source != CollectRequest::Source::StandardInput && activeTitle)
        source.title = activeTitle();
    return handOver(*choice.text, source);
}

} // namespace CollectCommand
