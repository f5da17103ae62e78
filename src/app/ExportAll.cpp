#include "ExportAll.h"

#include "DocumentExport.h"
#include "ImportExport.h"
#include "ProgramDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t interrupted = 0;

void interrupt(int)
{
    interrupted = 1;
}

// Ctrl+C (or SIGTERM, SIGHUP) stops the export as the cancel button does:
// the file is left as it was. On a terminal the count goes to standard
// error now and then.
class ConsoleProgress final : public BatchProgress {
public:
    void begin(const QString&, const QString&, int total) override
    {
        m_total = total;
        m_shown.start();
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            std::signal(signal, interrupt);
    }
    bool due() override { return interrupted || ++m_items % 256 == 0; }
    bool update(int done) override
    {
        if (m_terminal && m_shown.elapsed() >= 500) {
            std::fprintf(stderr, "\r%s", QStringLiteral("已导出 %1 / %2 篇").arg(done).arg(m_total)
                                             .toLocal8Bit().constData());
            m_shown.restart();
            m_wrote = true;
        }
        return !interrupted;
    }
    void finish() override
    {
        if (m_wrote)
            std::fputs("\n", stderr);
    }

private:
    bool m_terminal = ::isatty(STDERR_FILENO) == 1;
    bool m_wrote = false;
    int m_total = 0;
    int m_items = 0;
    QElapsedTimer m_shown;
};

} // namespace

int runExportAll(int argc, char* argv[])
{
    if (argc < 2 || std::strcmp(argv[1], "--export-all") != 0)
        return -1;
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs(QStringLiteral("用法：quorrel --export-all 文件.md|文件.jsonl\n").toLocal8Bit().constData(),
                   stderr);
        return 2;
    }
    ProgramDirectory::resolve();
    ConsoleProgress progress;
    QString out, err;
    const int status = DocumentExport::exportCommand(
        QString::fromLocal8Bit(argv[2]), ProgramDir() + QStringLiteral("WebDocuments.mdb"),
        progress, &out, &err);
    std::fputs(out.toLocal8Bit().constData(), stdout);
    if (!err.isEmpty())
        std::fprintf(stderr, "quorrel: %s\n", err.toLocal8Bit().constData());
    return status;
}
