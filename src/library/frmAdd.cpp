#include "frmAdd.h"

#include "Dialogs.h"
#include "RichTextBox.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

const QString frmAdd::AddCaption = u"添加文档"_s;
const QString frmAdd::EditCaption = u"编辑文档"_s;

frmAdd::frmAdd(frmMain& browser) : QDialog(&browser), m_browser(browser)
{
    setObjectName(u"frmAdd"_s);
    setWindowTitle(AddCaption);
    setModal(true);

    auto* titleLabel = new QLabel(u"文章标题:"_s);
    titleLabel->setObjectName(u"Label1"_s);
    text1 = new QLineEdit;
    text1->setObjectName(u"text1"_s);
    titleLabel->setBuddy(text1);
    auto* contentLabel = new QLabel(u"文章内容:"_s);
    contentLabel->setObjectName(u"Label2"_s);
    text2 = new RichTextBox;
    text2->setObjectName(u"text2"_s);
    text2->setTabChangesFocus(true);
    text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    contentLabel->setBuddy(text2);

    Check1 = new QCheckBox(u"添加多个文档"_s);
    Check1->setObjectName(u"Check1"_s);
    Button1 = new QPushButton(u"添    加"_s);
    Button1->setObjectName(u"Button1"_s);
    Button1->setAutoDefault(false);
    Button2 = new QPushButton(u"关    闭"_s);
    Button2->setObjectName(u"Button2"_s);
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &frmAdd::Button1_Click);
    connect(Button2, &QPushButton::clicked, this, &frmAdd::Button2_Click);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Check1);
    bottom->addStretch(1);
    bottom->addWidget(Button1);
    bottom->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleLabel);
    layout->addWidget(text1);
    layout->addWidget(contentLabel);
    layout->addWidget(text2, 1);
    layout->addLayout(bottom);
    resize(560, 420);
    text1->setFocus();
}

void frmAdd::Button1_Click()
{
    if (windowTitle() == AddCaption)
        addDocument();
    else
        saveEdit();
}

void frmAdd::Button2_Click()
{
    reject();
}

void frmAdd::addDocument()
{
    const QString title = text1->text();
    const QString content = text2->Text();
    // Spaces count as text: only a box left truly empty is refused.
    if (title.isEmpty() || content.isEmpty()) {
        tell(u"文章标题和文章内容均不能为空！"_s, Dialogs::Icon::Information);
        return;
    }
    QString error;
    if (!m_browser.browser().add(title, content, &error)) {
        // Nothing typed is lost: the dialog stays open with its texts.
        tell(u"文档保存失败！\n"_s + error, Dialogs::Icon::Warning);
        return;
    }
    text1->clear();
    text2->setText(QString());
    if (Check1->isChecked())
        text1->setFocus();
    else
        accept();
}

void frmAdd::saveEdit()
{
    QString error;
    if (!m_browser.browser().saveCurrent(text1->text(), text2->Text(), &error)) {
        if (!error.isEmpty()) // empty: the user chose not to store it
            tell(u"文档保存失败！\n"_s + error, Dialogs::Icon::Warning);
        return;
    }
    m_browser.setContentText(QString());
    accept();
}

void frmAdd::tell(const QString& text, Dialogs::Icon icon)
{
    m_browser.dialogs().message(this, text, u"提示信息"_s, icon,
                                Dialogs::Buttons::Ok);
}
