// Loading and saving the default document through RichTextBuffer against
// reading and writing the same file's bytes raw, for documents of 1 MB and
// 10 MB of text (Chinese and ASCII, many lines).
//
//   bench_rtf [runs] [folder]
//
// runs defaults to 7 (the median is shown); files go to a temporary folder
// (under TMPDIR) unless a folder is given. Of the load and save, "codec" is
// Rtf::read plus Rtf::write in memory, and "safe write" the atomic replace
// (SafeFile::write, which syncs the data to disk) of the same bytes.
#include "BenchText.h"
#include "RichText.h"
#include "Rtf.h"
#include "SafeFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Qt::StringLiterals;

namespace {


template <typename Work> double medianMs(int runs, Work work)
{
    std::vector<qint64> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!work()) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        times.push_back(timer.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    return double(times[times.size() / 2]) / 1e6;
}

bool rawCopy(const QString& from, const QString& to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = in.readAll();
    QFile out(to);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 7;
    QTemporaryDir temporary;
    const QString dir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();

    std::printf("%-6s %10s %10s %12s %12s %12s %12s %8s\n", "size", "text", "rtf", "raw r+w",
                "buffer l+s", "codec", "safe write", "ratio");
    double perMb[2] = {};
    int row = 0;
    for (const qsizetype size : {qsizetype(1) << 20, qsizetype(10) << 20}) {
        const QString text = Bench::document(size);
        const QString path = dir + u"/Doc.dat"_s;
        const QString copy = dir + u"/Copy.dat"_s;
        RichTextBuffer buffer;
        buffer.setText(text);
        if (!buffer.SaveFile(path))
            return 1;
        const qsizetype rtfBytes = QFile(path).size();

        const double raw = medianMs(runs, [&] { return rawCopy(path, copy); });
        const double loadSave = medianMs(runs, [&] {
            RichTextBuffer doc;
            return doc.LoadFile(path) && doc.SaveFile(path) && doc.Text().size() == text.size();
        });
        const double codec = medianMs(runs, [&] {
            const QByteArray rtf = Rtf::write(text);
            return Rtf::read(rtf).size() == text.size();
        });
        const QByteArray rtf = Rtf::write(text);
        const double safeWrite = medianMs(runs, [&] { return SafeFile::write(copy, rtf); });
        perMb[row++] = loadSave / double(size >> 20);
        std::printf("%3lld MB %8.2f MB %8.2f MB %9.2f ms %9.2f ms %9.2f ms %9.2f ms %7.2fx\n",
                    static_cast<long long>(size >> 20), double(text.toUtf8().size()) / (1 << 20),
                    double(rtfBytes) / (1 << 20), raw, loadSave, codec, safeWrite, loadSave / raw);
    }
    std::printf("per MB: 1 MB %.2f ms, 10 MB %.2f ms (linear when close)\n", perMb[0], perMb[1]);
    return 0;
}
