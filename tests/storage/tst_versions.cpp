// The versions of Doc.dat kept before it is replaced.
#include "DocVersions.h"
#include "TestFiles.h"
#include "TestMain.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using TestFiles::bytesOf;
using TestFiles::writeBytes;

namespace {

unsigned modeOf(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

class VersionsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // `count` saves `apartHours` apart, the last one now: which are kept.
    void boundsKeepTheLastOnesAndTheLastDays_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("apartHours");
        QTest::addColumn<int>("kept");
        QTest::newRow("many within the days") << DocVersions::KeepCount + 5 << 1
                                              << DocVersions::KeepCount + 5;
        QTest::newRow("few, long ago") << 3 << 24 * 365 << 3;
        QTest::newRow("many over months: the last ones")
            << DocVersions::KeepCount + 10 << 24 * 2 * DocVersions::KeepDays
            << DocVersions::KeepCount;
        QTest::newRow("a day apart: now and each of the last days")
            << DocVersions::KeepDays + 15 << 24 << DocVersions::KeepDays + 1;
    }
    void boundsKeepTheLastOnesAndTheLastDays()
    {
        QFETCH(int, count);
        QFETCH(int, apartHours);
        QFETCH(int, kept);
        QTemporaryDir dir;
        const QString doc = dir.filePath(u"Doc.dat"_s);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < count; ++i) {
            QVERIFY(writeBytes(doc, "{\\rtf1 state " + QByteArray::number(i) + "}"));
            QVERIFY(DocVersions::keep(doc, DocVersions::Reason::EditorSave, nullptr,
                                      now.addSecs(-3600LL * apartHours * (count - 1 - i))));
        }
        const QList<DocVersions::Version> versions = DocVersions::list(doc);
        QCOMPARE(versions.size(), kept);
        // newest first, each the state it was, and the names sort the same way
        QStringList names;
        for (int i = 0; i < kept; ++i) {
            QCOMPARE(DocVersions::read(versions[i].path).value(),
                     "{\\rtf1 state " + QByteArray::number(count - 1 - i) + "}");
            names.prepend(QFileInfo(versions[i].path).fileName());
        }
        QVERIFY2(std::is_sorted(names.cbegin(), names.cend()), qPrintable(names.join(u' ')));
    }

    // Private, never through a link, never twice the same bytes, never a
    // name taken.
    void keptSafely()
    {
        QTemporaryDir dir;
        const QString doc = dir.filePath(u"Doc.dat"_s);
        const QString folder = DocVersions::folderFor(doc);
        QVERIFY(DocVersions::keep(doc, DocVersions::Reason::EditorSave)); // nothing to keep
        QVERIFY(!QFileInfo::exists(folder));

        const mode_t umask = ::umask(0);
        QVERIFY(writeBytes(doc, "plain text"));
        const QDateTime at = QDateTime::currentDateTimeUtc();
        QVERIFY(DocVersions::keep(doc, DocVersions::Reason::Rewrite, nullptr, at));
        QVERIFY(DocVersions::keep(doc, DocVersions::Reason::Rewrite, nullptr, at)); // same bytes
        QVERIFY(writeBytes(doc, "{\\rtf1 changed}"));
        QVERIFY(DocVersions::keep(doc, DocVersions::Reason::EditorSave, nullptr, at)); // same time
        ::umask(umask);
        const auto versions = DocVersions::list(doc);
        QCOMPARE(versions.size(), 2);
        QCOMPARE(modeOf(folder), 0700u);
        for (const auto& v : versions)
            QCOMPARE(modeOf(v.path), 0600u);
        QCOMPARE(versions[0].reason, DocVersions::Reason::EditorSave);
        QCOMPARE(versions[1].reason, DocVersions::Reason::Rewrite);
        QCOMPARE(versions[1].size, qint64(10));

        // A link in the folder is no version, and is not read through.
        const QString secret = dir.filePath(u"secret"_s);
        QVERIFY(writeBytes(secret, "secret"));
        const QString link = QString(versions[0].path).replace(u".editor"_s, u".editor-9"_s);
        QVERIFY(QFile::link(secret, link));
        QCOMPARE(DocVersions::list(doc).size(), 2);
        QVERIFY(!DocVersions::read(link));

        // A folder that is a link is not written through.
        QTemporaryDir other;
        const QString elsewhere = other.filePath(u"Doc.dat"_s);
        QVERIFY(writeBytes(elsewhere, "x"));
        QVERIFY(QFile::link(dir.path(), DocVersions::folderFor(elsewhere)));
        QString error;
        QVERIFY(!DocVersions::keep(elsewhere, DocVersions::Reason::EditorSave, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(TestFiles::namesIn(dir.path()),
                 (QStringList{u"Doc.dat"_s, u"Versions"_s, u"secret"_s}));
        QVERIFY(DocVersions::list(elsewhere).isEmpty());
    }
};

QUORREL_TEST(VersionsTest, "versions")
#include "tst_versions.moc"
