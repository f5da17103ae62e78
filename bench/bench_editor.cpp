// The default-document editor on large documents: opening it to the text
// shown, and confirming (saving) it, against RichTextBuffer loading and
// saving the same Doc.dat; then how long a keystroke and a scroll take.
//
//   bench_editor [runs]
//
// runs defaults to 5 (the median is shown). Run it under a real X server
// (DISPLAY=... QT_QPA_PLATFORM=xcb) for painting as users see it; the
// offscreen platform paints too. The first row, an empty Doc.dat, is the
// window's own cost.
#include "BenchText.h"
#include "Dialogs.h"
#include "ProgramDir.h"
#include "RichText.h"
#include "RichTextBox.h"
#include "frmCollectorEditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

class SilentDialogs final : public Dialogs {
public:
    Answer message(QWidget*, const QString& text, const QString&, Icon, Buttons) override
    {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        std::exit(1);
    }
    std::optional<QString> inputText(QWidget*, const QString&, const QString&,
                                     const QString&, const QString&) override
    {
        return std::nullopt;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString existingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QColor> color(QWidget*, const QColor&) override { return std::nullopt; }
};


double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Counts paints of a widget.
class PaintWatch : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Runs the event loop until `widget` has painted once more.
void waitForPaint(QWidget* widget)
{
    PaintWatch watch;
    widget->installEventFilter(&watch);
    QElapsedTimer guard;
    guard.start();
    while (watch.paints == 0 && guard.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    widget->removeEventFilter(&watch);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    QTemporaryDir folder;
    ProgramDirOverride programDir(folder.path());
    {
        // Closing must not save: only the confirm is timed.
        QFile settings(ProgramDir() + u"Set.ini"_s);
        if (!settings.open(QIODevice::WriteOnly) || settings.write("[CollectorSet]\nexitnew=false\n") < 0)
            return 1;
    }
    const QString path = ProgramDir() + u"Doc.dat"_s;
    SilentDialogs dialogs;

    std::printf("%-6s %9s %12s %12s %12s %12s %8s %10s %10s\n", "size", "rtf", "buffer l+s",
                "open shown", "confirm", "editor sum", "ratio", "keystroke", "scroll");
    for (const qsizetype size : {qsizetype(0), qsizetype(1) << 20, qsizetype(10) << 20}) {
        const QString text = Bench::document(size);
        if (!RichText::saveText(path, text))
            return 1;
        const double rtfMb = double(QFile(path).size()) / (1 << 20);

        std::vector<double> buffer, open, confirm, key, scroll;
        for (int run = 0; run < runs; ++run) {
            if (!RichText::saveText(path, text)) // as the last run's save changed it
                return 1;
            QElapsedTimer timer;
            timer.start();
            RichTextBuffer doc;
            if (!doc.LoadFile(path) || !doc.SaveFile(path))
                return 1;
            buffer.push_back(msSince(timer));

            QPointer<frmCollectorEditor> editor;
            timer.restart();
            frmCollectorEditor::open(editor, dialogs);
            waitForPaint(editor->text1()->viewport());
            open.push_back(msSince(timer));
            if (editor->text1()->document()->characterCount() - 1 != text.size())
                return 1;

            // An unchanged text is not written: one character changed, so the
            // confirm saves (keeping the file it replaces as a version).
            editor->text1()->textCursor().insertText(u"x"_s);
            timer.restart();
            editor->Toolbar1_ButtonClick(10);
            confirm.push_back(msSince(timer));

            if (size == 0) { // the window alone: nothing to type into or scroll
                delete editor.data();
                continue;
            }
            // A keystroke at the end, to the repaint that shows it.
            RichTextBox* box = editor->text1();
            box->moveCursor(QTextCursor::End);
            waitForPaint(box->viewport());
            timer.restart();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, u"x"_s);
            QApplication::sendEvent(box, &press);
            waitForPaint(box->viewport());
            key.push_back(msSince(timer));

            // A jump to the middle, to the repaint that shows it.
            timer.restart();
            box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum() / 2);
            waitForPaint(box->viewport());
            scroll.push_back(msSince(timer));

            delete editor.data();
        }
        if (key.empty())
            key = scroll = {0};
        const double sum = median(open) + median(confirm);
        std::printf("%3lld MB %6.1f MB %9.1f ms %9.1f ms %9.1f ms %9.1f ms %7.2fx %7.1f ms %7.1f ms\n",
                    static_cast<long long>(size >> 20), rtfMb, median(buffer), median(open),
                    median(confirm), sum, sum / median(buffer), median(key), median(scroll));
    }
    return 0;
}
