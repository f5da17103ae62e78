#include "Fonts.h"
#include "ProgramDir.h"
#include "RichTextBox.h"
#include "TestMain.h"
#include "frmAbout.h"
#include "frmHelp.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;

namespace {

// The help text as the program must show it, typed here on its own so that a
// slip in the window's copy shows up.
QStringList expectedHelp()
{
    return {
        QString(23, u' ') + u"Quorrel使用说明"_s,
        QString(),
        u"使用："_s,
        u"  "_s,
        u"本软件是一款快速保存网页文本的应用软件，您只需将要保存的文本拖到Quorrel的悬浮窗内，即可快速将其保存。保存方式有三种，分为："_s,
        u"1、追加到默认保存文档。"_s,
        u"2、新建一文件保存。"_s,
        u"3、保存到数据库。"_s,
        u"您可自行设定。设定方法为：右键点击悬浮窗，在弹出的菜单中选择"_s + QChar(0x22) + u"高级设置"_s +
            QChar(0x22) + u"，在随后出现的"_s + QChar(0x22) + u"高级设置"_s + QChar(0x22) +
            u"对话框中您可看到三个选项：追加到默认保存文档，新建一文件保存，保存到数据库。下面分别讲述："_s,
        QString(),
        u"1、追加到默认保存文挡。此通常适用于临时简短文本的保存。您可将所要保存的文本拖至悬浮窗，文本就会被保存到应用程序目录下的Doc文件中，您可通过Quorrel自带的文档编辑器对其进行编辑整理。此种保存方式又可分为是否使用缓存更新，在使用缓存更新的情况下，每次拖到悬浮窗的文本并不立即保存到硬盘上，而是存放在内存中，只有当程序退出时才保存到硬盘上。在不使用缓存更新的情况下，每次拖到悬浮窗的文本将立即被保存到硬盘上。两种方式各有优劣，您可自行选择。"_s,
        QString(),
        u"2、新建一文件保存。在此种方式下，您可自行指定一目录来保存文件，若不指定，则文件将保存到程序目录下的Documents子目录。文件自动以0、1、2、3........命名。在这种保存方式下，即使您在保存文件的目录下又创建了其他以数字为文件名的文件，Quorrel所独创的智能命名也能保证文件不会被意外覆盖。"_s,
        QString(),
        u"3、保存到数据库。此通常适用于重要文本的保存。我们推荐您使用此种方式。将所有的信息保存在数据库里，方便您进行备份。在此种保存方式下，您可以选择是否使用自动命名，若不使用自动命名，则每次保存时均需输入文挡标题，若不输入则视为放弃保存。Quorrel自带了一个文档浏览器来方便对数据库的管理，其特有的全部导入功能能很方便地将一个目录中所有的文本文件导入数据库，而全部导出功能则能将数据库中的所有内容导出。"_s,
        QString(),
        u"适用平台："_s,
        QString(),
        u"Win98、Win2000 (WinMe和WinXP尚未测试)"_s,
        QString(),
    };
}

bool centred(const QWidget& w)
{
    const QRect screen = w.screen()->geometry();
    return qAbs(w.x() - (screen.width() - w.width()) / 2) <= 1 &&
           qAbs(w.y() - (screen.height() - w.height()) / 2) <= 1;
}

} // namespace

class InfoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void helpTextParagraphByParagraph()
    {
        frmHelp help;
        help.show();
        QCOMPARE(help.windowTitle(), u"Quorrel帮助"_s);
        auto* box = help.findChild<RichTextBox*>(u"RichTextBox1"_s);
        QVERIFY(box);
        const QStringList expected = expectedHelp();
        QCOMPARE(expected.size(), 20);
        QCOMPARE(box->document()->blockCount(), 20);
        int i = 0;
        for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next(), ++i)
            QCOMPARE(block.text(), expected[i]);
        QCOMPARE(frmHelp::paragraphs(), expected);
    }

    void helpBoxFillsTheWindowReadOnly()
    {
        frmHelp help;
        help.show();
        auto* box = help.findChild<RichTextBox*>(u"RichTextBox1"_s);
        // 5895 x 6135 twips at the tests' 96 dpi.
        QCOMPARE(help.size(), QSize(393, 409));
        QCOMPARE(box->geometry(), help.rect());
        QVERIFY(box->isReadOnly());
        QVERIFY(box->textInteractionFlags() & Qt::TextSelectableByMouse);
        QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        const QString before = box->Text();
        QTest::keyClicks(box, u"x"_s);
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->Text(), before);
        QVERIFY(centred(help));
    }

    void helpOpensAtItsBeginning()
    {
        frmHelp help;
        help.show();
        auto* box = help.findChild<RichTextBox*>(u"RichTextBox1"_s);
        QVERIFY(box->verticalScrollBar()->maximum() > 0); // the text is longer than the box
        QCOMPARE(box->verticalScrollBar()->value(), 0);
        QCOMPARE(box->textCursor().position(), 0);
        QCOMPARE(box->cursorForPosition(QPoint(4, 4)).blockNumber(), 0); // title line on top
    }

    void helpFontIsSongtiOrAnInstalledCjkStandIn()
    {
        const QFont font = Fonts::songti(9);
        QCOMPARE(font.pointSize(), 9);
        const QStringList candidates = Fonts::songtiFamilies();
        QCOMPARE(candidates.first(), u"宋体"_s);
        QVERIFY(!font.families().isEmpty());
        // The first family asked for is the first candidate that is installed.
        for (const QString& family : candidates) {
            if (QFontDatabase::hasFamily(family)) {
                QCOMPARE(font.families().first(), family);
                break;
            }
        }
        // Whatever stands in, the Chinese of the help text has glyphs.
        const QRawFont raw = QRawFont::fromFont(font);
        QVERIFY(raw.isValid());
        for (const QChar c : u"宋体使用说明高级设置"_s)
            QVERIFY2(raw.supportsCharacter(c), qPrintable(QString(c)));

        frmHelp help;
        auto* box = help.findChild<RichTextBox*>(u"RichTextBox1"_s);
        QCOMPARE(box->font().pointSize(), 9);
        QCOMPARE(box->font().families(), font.families());
    }

    void aboutWindow()
    {
        frmAbout about;
        about.show();
        QCOMPARE(about.windowTitle(), u"关于本程序"_s);
        // 4215 x 3105 twips at 96 dpi.
        QCOMPARE(about.size(), QSize(281, 207));
        QVERIFY(centred(about));
        auto* frame = about.findChild<QGroupBox*>(u"Frame1"_s);
        auto* image = about.findChild<QLabel*>(u"Image1"_s);
        QVERIFY(frame && image);
        QVERIFY(frame->isAncestorOf(image));
        QVERIFY(!image->pixmap().isNull());
        QCOMPARE(frame->y() < 20, true); // across the top

        QStringList shown;
        for (int i = 1; i <= 3; ++i) {
            auto* label = about.findChild<QLabel*>(u"Label"_s + QString::number(i));
            QVERIFY(label);
            QVERIFY(frame->isAncestorOf(label));
            shown << label->text();
        }
        QCOMPARE(shown, QStringList({u"程序名称:Quorrel"_s, u"程序版本:1.0"_s,
                                     u"说明:一款快速保存网页文本的工具，欢迎使用！"_s}));

        auto* ok = about.findChild<QPushButton*>(u"Button1"_s);
        QVERIFY(ok);
        QCOMPARE(ok->text(), u"确    定"_s);
        QVERIFY(ok->y() >= frame->y() + frame->height());
        QVERIFY(qAbs(ok->geometry().center().x() - about.width() / 2) <= 1);
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }

    void openingAndClosingLeavesNoTrace()
    {
        QTemporaryDir dir;
        ProgramDirOverride programDir(dir.path());
        for (int i = 0; i < 3; ++i) {
            frmHelp help;
            help.show();
            QTest::keyClick(&help, Qt::Key_Escape);
            QVERIFY(!help.isVisible());
            frmAbout about;
            about.show();
            about.close();
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList());
    }
};

QUORREL_TEST(InfoTest, "info")
#include "tst_info.moc"
