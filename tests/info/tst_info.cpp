#include "ProgramDir.h"
#include "RichTextBox.h"
#include "TestMain.h"
#include "frmAbout.h"
#include "frmHelp.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;

// One smoke check per window: it shows its text and closes without leaving
// anything behind.
class InfoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void helpShowsItsParagraphsReadOnlyFromTheTop()
    {
        QTemporaryDir dir;
        ProgramDirOverride programDir(dir.path());
        frmHelp help;
        help.show();
        auto* box = help.findChild<RichTextBox*>(u"RichTextBox1"_s);
        QVERIFY(box);
        QStringList shown;
        for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next())
            shown << block.text();
        QCOMPARE(shown, frmHelp::paragraphs()); // one block per paragraph, blanks kept
        QVERIFY(box->verticalScrollBar()->maximum() > 0);
        QCOMPARE(box->verticalScrollBar()->value(), 0);

        const QString before = box->Text();
        QTest::keyClicks(box, u"x"_s);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->Text(), before);

        // Whatever font stands in for 宋体, the Chinese has glyphs.
        const QRawFont raw = QRawFont::fromFont(box->font());
        for (const QChar c : u"宋体使用说明高级设置"_s)
            QVERIFY2(raw.supportsCharacter(c), qPrintable(QString(c)));

        QTest::keyClick(&help, Qt::Key_Escape);
        QVERIFY(!help.isVisible());
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList());
    }

    void aboutShowsItsPictureAndClosesOnOk()
    {
        frmAbout about;
        about.show();
        auto* image = about.findChild<QLabel*>(u"Image1"_s);
        QVERIFY(image && !image->pixmap().isNull());
        auto* ok = about.findChild<QPushButton*>(u"Button1"_s);
        QVERIFY(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }
};

QUORREL_TEST(InfoTest, "info")
#include "tst_info.moc"
