#include "frmSet.h"

#include "Dialogs.h"
#include "ProgramDir.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <iterator>

using namespace Qt::StringLiterals;

frmSet::frmSet(Dialogs& dialogs, Apply apply, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_apply(std::move(apply))
{
    setObjectName(u"frmSet"_s);
    setWindowTitle(u"高级设置"_s);
    build();
    Form_Load();
}

void frmSet::build()
{
    Frame6 = new QGroupBox(this);
    Frame6->setObjectName(u"Frame6"_s);

    const QString modeTexts[3] = {u"追加到默认保存文件"_s, u"新建一文件保存"_s, u"保存到数据库"_s};
    for (int i = 0; i < 3; ++i) {
        Option6[i] = new QRadioButton(modeTexts[i], Frame6);
        Option6[i]->setObjectName(u"Option6_"_s + QString::number(i));
        connect(Option6[i], &QRadioButton::clicked, this, [this, i] { Option6_Click(i); });
    }
    // One group, exactly one selected: auto-exclusive siblings in Frame6.

    ChkCacheUpdate = new QCheckBox(u"缓存更新"_s, Frame6);
    ChkCacheUpdate->setObjectName(u"ChkCacheUpdate"_s);
    connect(ChkCacheUpdate, &QCheckBox::toggled, this, [this](bool on) { m_state.cacheUpdate = on; });

    Frame1 = new QGroupBox(u"保存路径"_s, Frame6);
    Frame1->setObjectName(u"Frame1"_s);
    text1 = new QLineEdit(Frame1);
    text1->setObjectName(u"text1"_s);
    text1->setReadOnly(true); // only the folder chooser fills it
    Command3 = new QToolButton(Frame1);
    Command3->setObjectName(u"Command3"_s);
    Command3->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    Command3->setToolTip(u"请选择文档的保存路径："_s);
    connect(Command3, &QToolButton::clicked, this, &frmSet::Command3_Click);
    Label1 = new QLabel(u"如不特别指定则保存在程序安装目录下的Documents子目录"_s, Frame1);
    Label1->setObjectName(u"Label1"_s);
    // One line: the dialog is as wide as the note needs.

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(text1, 1);
    pathRow->addWidget(Command3);
    auto* pathLayout = new QVBoxLayout(Frame1);
    pathLayout->addLayout(pathRow);
    pathLayout->addWidget(Label1);
    // The square button matches the path box's height.
    const int side = text1->sizeHint().height();
    Command3->setFixedSize(side, side);

    ChkAutoName = new QCheckBox(u"自动命名"_s, Frame6);
    ChkAutoName->setObjectName(u"ChkAutoName"_s);
    connect(ChkAutoName, &QCheckBox::toggled, this, [this](bool on) { m_state.autoName = on; });

    // Top to bottom: append with the cache box beside it, create, the path
    // group, database with the auto-name box beside it. The two boxes share a
    // column.
    auto* modes = new QGridLayout(Frame6);
    modes->setColumnStretch(2, 1);
    modes->addWidget(Option6[0], 0, 0);
    modes->addWidget(ChkCacheUpdate, 0, 1);
    modes->addWidget(Option6[1], 1, 0);
    modes->addWidget(Frame1, 2, 0, 1, 3);
    modes->addWidget(Option6[2], 3, 0);
    modes->addWidget(ChkAutoName, 3, 1);

    Check7 = new QCheckBox(u"保存后提示是否保存成功"_s, this);
    Check7->setObjectName(u"Check7"_s);
    connect(Check7, &QCheckBox::toggled, this, [this](bool on) { m_state.tip = on; });

    Command1 = new QPushButton(u"确  定"_s, this);
    Command1->setObjectName(u"Command1"_s);
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &frmSet::Command1_Click);
    Command2 = new QPushButton(u"取  消"_s, this);
    Command2->setObjectName(u"Command2"_s);
    Command2->setAutoDefault(false);
    connect(Command2, &QPushButton::clicked, this, &frmSet::Command2_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame6);
    layout->addWidget(Check7);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Tab goes the way the eye reads: each mode, then what belongs to it.
    QWidget* order[] = {Option6[0], ChkCacheUpdate, Option6[1], text1, Command3,
                        Option6[2], ChkAutoName,    Check7,     Command1, Command2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void frmSet::Form_Load()
{
    LoadSettings();
    adjustSize();
    WindowPlacement::centreOnScreen(this);
}

void frmSet::LoadSettings()
{
    m_state.LoadSettings();
    showState();
}

void frmSet::showState()
{
    const AdvancedSettings state = m_state; // the controls' signals write back into m_state
    Option6[state.mode]->setChecked(true);
    ChkCacheUpdate->setChecked(state.cacheUpdate);
    ChkAutoName->setChecked(state.autoName);
    text1->setText(state.path);
    text1->setToolTip(state.path); // a long path shows whole when hovered
    Check7->setChecked(state.tip);
    ChkCacheUpdate->setEnabled(state.cacheUpdateEnabled());
    Frame1->setEnabled(state.pathEnabled());
    ChkAutoName->setEnabled(state.autoNameEnabled());
}

void frmSet::Option6_Click(int index)
{
    if (index < AdvancedSettings::Append || index > AdvancedSettings::Database)
        return;
    m_state.mode = static_cast<AdvancedSettings::Mode>(index);
    showState();
}

void frmSet::Command3_Click()
{
    // The chooser starts at the folder shown, or else at the default one.
    const QString start = text1->text().isEmpty() ? ProgramDir() + u"Documents"_s : text1->text();
    const QString folder = m_dialogs.existingDirectory(this, u"请选择文档的保存路径："_s, start);
    m_state.setChosenFolder(folder);
    showState();
}

void frmSet::Command1_Click()
{
    bool pathKept = true;
    const SaveSettings chosen = m_state.Save(ProgramDir(), &pathKept);
    if (!pathKept) {
        m_dialogs.message(this,
                          u"无法在设置文件中保存所选的保存路径，仍使用原来的文件夹：\n%1"_s.arg(
                              chosen.filepath),
                          u"高级设置"_s, Dialogs::Icon::Warning);
    }
    if (m_apply)
        m_apply(chosen);
    accept();
}

void frmSet::Command2_Click()
{
    reject();
}
