#include "frmDataSet.h"

#include "Dialogs.h"
#include "RichTextBox.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

frmDataSet::frmDataSet(QWidget& browser, RichTextBox& content, Dialogs& dialogs)
    : QWidget(&browser, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint),
      m_browser(browser), m_content(content), m_dialogs(dialogs)
{
    setObjectName(u"frmDataSet"_s);
    setWindowTitle(u"显示设置"_s);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* frame = new QGroupBox(u"字体大小"_s);
    frame->setObjectName(u"Frame1"_s);
    auto* options = new QHBoxLayout(frame);
    auto* group = new QButtonGroup(this);
    const std::array<QString, 5> captions{u"最大"_s, u"较大"_s, u"中等"_s, u"较小"_s, u"最小"_s};
    for (int i = 0; i < int(m_options.size()); ++i) {
        auto* option = new QRadioButton(captions[i]);
        option->setObjectName(u"Option%1"_s.arg(i + 1));
        group->addButton(option, i);
        options->addWidget(option);
        m_options[i] = option;
        connect(option, &QRadioButton::clicked, this, [this, i] { Option_Click(i); });
    }

    auto* button = new QPushButton(u"背景颜色"_s);
    button->setObjectName(u"Button3"_s);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, &frmDataSet::Button3_Click);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int frmDataSet::optionOf(qreal points)
{
    for (int i = 0; i < int(Sizes.size()); ++i) {
        if (points == Sizes[i])
            return i;
    }
    return -1;
}

void frmDataSet::Form_Load()
{
    // Beside the browser, so the content box it changes stays in view.
    adjustSize();
    const QRect browser = m_browser.frameGeometry();
    QPoint at(browser.right() + 8, browser.top());
    if (const QScreen* screen = m_browser.screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(at);
    show();
    move(at); // some window systems place a new window themselves on showing
    const int index = optionOf(m_content.font().pointSizeF());
    if (index >= 0)
        m_options[index]->setChecked(true); // the box keeps its size
}

void frmDataSet::Option_Click(int index)
{
    if (index < 0 || index >= int(Sizes.size()))
        return;
    m_options[index]->setChecked(true);
    QFont font = m_content.font();
    font.setPointSizeF(Sizes[index]);
    m_content.setFont(font);
}

void frmDataSet::Button3_Click()
{
    const QColor current = m_content.palette().color(QPalette::Base);
    // A cancelled dialog leaves the background as it was.
    const std::optional<QColor> chosen = m_dialogs.color(this, current);
    if (!chosen || !chosen->isValid())
        return;
    QPalette palette = m_content.palette();
    palette.setColor(QPalette::Base, *chosen);
    m_content.setPalette(palette);
}
