#include "AccessImport.h"
#include "CollectorFixture.h"
#include "TestMain.h"

using namespace Qt::StringLiterals;

namespace {

const QString kFixtures = QStringLiteral(ACCESS_FIXTURES);

const QByteArray DatabaseMode = "[CollectorSet]\nsave=database\nAutoName=true\ntip=false\n";

QByteArray fixture(const QString& name)
{
    return TestFiles::bytesOf(kFixtures + u'/' + name);
}

} // namespace

// An older tool's Access WebDocuments.mdb in the program folder: converted
// at the load or at the next database-mode drop, with a notice.
class AccessCollectorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo::exists(kFixtures + u"/generated"_s))
            QSKIP("The Access fixtures (../shared/fixtures/access beside the project) are absent");
        AccessFile::setReaderPath(QStringLiteral(MDB_READER));
    }

    void convertedAtLoad()
    {
        CollectorFixture f(DatabaseMode);
        const QByteArray original = fixture(u"generated/WebDocuments_ace2007.accdb"_s);
        f.write(u"WebDocuments.mdb", original);
        QVERIFY(f.load());
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages[0].text.contains(u"16 条记录"_s));
        QVERIFY(f.dialogs.messages[0].text.contains(u"WebDocuments.access.mdb"_s));
        QCOMPARE(f.read(u"WebDocuments.access.mdb"), original);
        f.dropText(u"new"_s);
        const QStringList all = TestFiles::recordsIn(f.path(u"WebDocuments.mdb"));
        QCOMPARE(all.size(), 17);
        QCOMPARE(all.last(), u"文档|new"_s);
    }

    void copiedInWhileRunning()
    {
        CollectorFixture f(DatabaseMode);
        QVERIFY(f.load());
        f.write(u"WebDocuments.mdb", fixture(u"generated/template_1row.mdb"_s));
        f.dropText(u"dropped"_s);
        const QStringList all = TestFiles::recordsIn(f.path(u"WebDocuments.mdb"));
        QCOMPARE(all.size(), 2);
        QVERIFY2(all[0].startsWith(u"种子|"_s), qPrintable(all[0]));
        QCOMPARE(all[1], u"文档|dropped"_s);
    }

};

QUORREL_TEST(AccessCollectorTest, "access")
#include "tst_access.moc"
