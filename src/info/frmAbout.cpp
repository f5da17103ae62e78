#include "frmAbout.h"

#include "QuorrelIcon.h"
#include "Twips.h"
#include "WindowPlacement.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr double WidthTwips = 4215;
constexpr double HeightTwips = 3105;
constexpr double PictureTwips = 720; // half an inch, as a large program icon

} // namespace

QStringList frmAbout::lines()
{
    return {u"程序名称:Quorrel"_s, u"程序版本:1.0"_s, u"说明:一款快速保存网页文本的工具，欢迎使用！"_s};
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"关于本程序"_s);
    const QScreen* s = screen();
    const double dpi = s ? s->logicalDotsPerInch() : 96.0;

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(u"Frame1"_s);
    Image1 = new QLabel(Frame1);
    Image1->setObjectName(u"Image1"_s);
    const int picture = Twips::toPixels(PictureTwips, dpi);
    Image1->setPixmap(QuorrelIcon::picture(picture));
    Image1->setFixedSize(picture, picture);

    auto* text = new QVBoxLayout;
    text->setSpacing(8);
    int n = 0;
    for (const QString& line : lines()) {
        auto* label = new QLabel(line, Frame1);
        label->setObjectName(u"Label"_s + QString::number(++n));
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->addWidget(label);
    }
    text->addStretch(1);

    auto* frame = new QHBoxLayout(Frame1);
    frame->setSpacing(12);
    frame->addWidget(Image1, 0, Qt::AlignTop);
    frame->addLayout(text, 1);

    Button1 = new QPushButton(u"确    定"_s, this);
    Button1->setObjectName(u"Button1"_s);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &frmAbout::Button1_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1, 1);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);

    setFixedSize(Twips::toPixels(WidthTwips, dpi), Twips::toPixels(HeightTwips, dpi));
    Form_Load();
}

void frmAbout::Form_Load()
{
    WindowPlacement::centreOnScreen(this);
}

void frmAbout::Button1_Click()
{
    accept();
}
