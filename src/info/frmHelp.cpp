#include "frmHelp.h"

#include "Fonts.h"
#include "RichTextBox.h"
#include "Twips.h"
#include "WindowPlacement.h"

#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr double WidthTwips = 5895;
constexpr double HeightTwips = 6135;

} // namespace

QStringList frmHelp::paragraphs()
{
    // The quotes around 高级设置 are plain ASCII ones; the typos 文挡 are the
    // text's own.
    return {
        u"                       Quorrel使用说明"_s,
        u""_s,
        u"使用："_s,
        u"  "_s,
        u"本软件是一款快速保存网页文本的应用软件，您只需将要保存的文本拖到Quorrel的悬浮窗内，即可快速将其保存。保存方式有三种，分为："_s,
        u"1、追加到默认保存文档。"_s,
        u"2、新建一文件保存。"_s,
        u"3、保存到数据库。"_s,
        u"您可自行设定。设定方法为：右键点击悬浮窗，在弹出的菜单中选择\"高级设置\"，在随后出现的\"高级设置\"对话框中您可看到三个选项：追加到默认保存文档，新建一文件保存，保存到数据库。下面分别讲述："_s,
        u""_s,
        u"1、追加到默认保存文挡。此通常适用于临时简短文本的保存。您可将所要保存的文本拖至悬浮窗，文本就会被保存到应用程序目录下的Doc文件中，您可通过Quorrel自带的文档编辑器对其进行编辑整理。此种保存方式又可分为是否使用缓存更新，在使用缓存更新的情况下，每次拖到悬浮窗的文本并不立即保存到硬盘上，而是存放在内存中，只有当程序退出时才保存到硬盘上。在不使用缓存更新的情况下，每次拖到悬浮窗的文本将立即被保存到硬盘上。两种方式各有优劣，您可自行选择。"_s,
        u""_s,
        u"2、新建一文件保存。在此种方式下，您可自行指定一目录来保存文件，若不指定，则文件将保存到程序目录下的Documents子目录。文件自动以0、1、2、3........命名。在这种保存方式下，即使您在保存文件的目录下又创建了其他以数字为文件名的文件，Quorrel所独创的智能命名也能保证文件不会被意外覆盖。"_s,
        u""_s,
        u"3、保存到数据库。此通常适用于重要文本的保存。我们推荐您使用此种方式。将所有的信息保存在数据库里，方便您进行备份。在此种保存方式下，您可以选择是否使用自动命名，若不使用自动命名，则每次保存时均需输入文挡标题，若不输入则视为放弃保存。Quorrel自带了一个文档浏览器来方便对数据库的管理，其特有的全部导入功能能很方便地将一个目录中所有的文本文件导入数据库，而全部导出功能则能将数据库中的所有内容导出。"_s,
        u""_s,
        u"历史版本："_s,
        u""_s,
        u"每次替换默认文档（程序目录下的Doc.dat）之前，例如在文档编辑器中保存修改时，Quorrel都会先把原来的文档保留为一个历史版本，放在程序目录下的Versions子目录中，保留最近的20个版本和30天内的全部版本。要取回某个版本：打开文档编辑器，在文本框中点击右键，选择\"历史版本…\"（或按Ctrl+H），选中一个版本后点击\"打开\"，它的文字就会出现在编辑器中；点击\"确认对默认文档的修改\"或关闭编辑器后，它即成为默认文档，而当前的文档也会保留为一个历史版本。"_s,
        u""_s,
        u"适用平台："_s,
        u""_s,
        u"Win98、Win2000 (WinMe和WinXP尚未测试)"_s,
        u""_s
    };
}

frmHelp::frmHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"frmHelp"_s);
    setWindowTitle(u"Quorrel帮助"_s);

    RichTextBox1 = new RichTextBox(this);
    RichTextBox1->setObjectName(u"RichTextBox1"_s);
    RichTextBox1->setFont(Fonts::songti(9));
    RichTextBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichTextBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichTextBox1->setText(paragraphs().join(u'\n'));
    RichTextBox1->setReadOnly(true);
    // Read-only, yet selectable with the keyboard as well as the mouse.
    RichTextBox1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RichTextBox1);

    const QScreen* s = screen();
    const double dpi = s ? s->logicalDotsPerInch() : 96.0;
    resize(Twips::toPixels(WidthTwips, dpi), Twips::toPixels(HeightTwips, dpi));
    Form_Load();
}

void frmHelp::Form_Load()
{
    // Opens at its beginning: the title line first.
    QTextCursor start = RichTextBox1->textCursor();
    start.movePosition(QTextCursor::Start);
    RichTextBox1->setTextCursor(start);
    RichTextBox1->verticalScrollBar()->setValue(0);
    WindowPlacement::centreOnScreen(this);
}
