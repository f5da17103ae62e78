#include "frmCollectorEditorSet.h"

#include "CollectorEditor.h"
#include "Settings.h"
#include "Twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr double WidthTwips = 3750;
constexpr double HeightTwips = 1770;

} // namespace

frmCollectorEditorSet::frmCollectorEditorSet(CollectorEditor& editor, QWidget* parent)
    : QDialog(parent), m_editor(editor)
{
    setObjectName(u"frmCollectorEditorSet"_s);
    setWindowTitle(u"编辑器设置"_s);
    setModal(true);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(u"Frame1"_s);
    Check1 = new QCheckBox(u"另存为文件后删除原选定内容"_s, Frame1);
    Check1->setObjectName(u"Check1"_s);
    Check2 = new QCheckBox(u"退出后自动更新默认文档"_s, Frame1);
    Check2->setObjectName(u"Check2"_s);
    // As designed; the load then shows the editor's values.
    Check1->setChecked(false);
    Check2->setChecked(true);
    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addWidget(Check1);
    frameLayout->addWidget(Check2);

    Command1 = new QPushButton(u"确 定"_s, this);
    Command1->setObjectName(u"Command1"_s);
    Command1->setDefault(true);
    Command2 = new QPushButton(u"取 消"_s, this);
    Command2->setObjectName(u"Command2"_s);
    connect(Command1, &QPushButton::clicked, this, &frmCollectorEditorSet::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmCollectorEditorSet::Command2_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
}

void frmCollectorEditorSet::Form_Load()
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInch() : 96.0;
    // The designed size, grown where the fonts need more room.
    const QSize size = QSize(Twips::toPixels(WidthTwips, dpi), Twips::toPixels(HeightTwips, dpi))
                           .expandedTo(minimumSizeHint());
    setFixedSize(size);
    if (s) {
        const QRect screen = s->geometry();
        move(screen.x() + (screen.width() - size.width()) / 2,
             screen.y() + (screen.height() - size.height()) / 2);
    }
    if (m_editor.savedelete)
        Check1->setChecked(true);
    if (!m_editor.exitnew)
        Check2->setChecked(false);
}

void frmCollectorEditorSet::Command1_Click()
{
    // Each value is assigned, then its key written: both on every OK.
    m_editor.savedelete = Check1->isChecked();
    WriteSetting(u"savedelete"_s, SettingRules::boolWord(m_editor.savedelete));
    m_editor.exitnew = Check2->isChecked();
    WriteSetting(u"exitnew"_s, SettingRules::boolWord(m_editor.exitnew));
    accept();
}

void frmCollectorEditorSet::Command2_Click()
{
    reject();
}
