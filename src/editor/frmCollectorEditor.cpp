#include "frmCollectorEditor.h"

#include "EditorIcons.h"
#include "Fonts.h"
#include "RichTextBox.h"
#include "Twips.h"
#include "WindowPlacement.h"
#include "frmCollectorEditorSet.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QToolBar>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr double WidthTwips = 5025;
constexpr double HeightTwips = 6270;

double dpiOf(const QWidget* window)
{
    const QScreen* s = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInch() : 96.0;
}

} // namespace

const QStringList frmCollectorEditor::ToolTips = {
    u"复制"_s,
    u"剪切"_s,
    u"粘贴"_s,
    u"将选定内容另存为文件"_s,
    u"将文档全部选定"_s,
    u"删除"_s,
    u"撤消上一步操作"_s,
    u"编辑器设置"_s,
    u"刷新文本"_s,
    u"确认对默认文档的修改"_s,
    u"退出编辑器"_s,
};

frmCollectorEditor::frmCollectorEditor(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_text1(new RichTextBox(this)),
      m_editor(dialogs, *m_text1, this)
{
    setObjectName(u"frmCollectorEditor"_s);
    setWindowTitle(u"Quorrel-默认文档编辑器"_s);

    m_text1->setObjectName(u"text1"_s);
    m_text1->setFont(Fonts::songti(10.5));
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text1->setFrameShape(QFrame::NoFrame);

    buildToolbar();
    // Kept versions are reached from the box, as the toolbar is the old one's.
    m_versions = new QAction(u"历史版本…"_s, this);
    m_versions->setObjectName(u"versions"_s);
    m_versions->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    m_versions->setShortcutContext(Qt::WindowShortcut);
    addAction(m_versions);
    connect(m_versions, &QAction::triggered, this, [this] { m_editor.openVersion(); });
    m_text1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_text1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = createContextMenu();
        menu->exec(m_text1->viewport()->mapToGlobal(at));
        delete menu;
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_text1, 1);
    m_text1->setFocus();
}

frmCollectorEditor::~frmCollectorEditor() = default;

void frmCollectorEditor::buildToolbar()
{
    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(u"Toolbar1"_s);
    m_toolbar->setIconSize(QSize(16, 16));
    m_toolbar->setFloatable(false);
    m_toolbar->setMovable(false);
    for (int index = 1; index <= ToolTips.size(); ++index) {
        const QString& tip = ToolTips.at(index - 1);
        QAction* action = m_toolbar->addAction(EditorIcons::icon(index), tip);
        action->setObjectName(u"Button"_s + QString::number(index));
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, [this, index] { Toolbar1_ButtonClick(index); });
        // Gaps between the groups: clipboard, selection, undo, options, document, leave.
        if (index == 4 || index == 6 || index == 7 || index == 8 || index == 10)
            m_toolbar->addSeparator();
    }
}

QMenu* frmCollectorEditor::createContextMenu()
{
    QMenu* menu = m_text1->createStandardContextMenu();
    menu->addSeparator();
    menu->addAction(m_versions);
    return menu;
}

frmCollectorEditor* frmCollectorEditor::open(QPointer<frmCollectorEditor>& single,
                                             Dialogs& dialogs)
{
    if (!single || single->m_closed) {
        single = new frmCollectorEditor(dialogs);
        single->setAttribute(Qt::WA_DeleteOnClose);
        single->Form_Load();
    }
    single->setWindowState(single->windowState() & ~Qt::WindowMinimized);
    single->show();
    single->raise();
    single->activateWindow();
    return single;
}

void frmCollectorEditor::Form_Load()
{
    const double dpi = dpiOf(this);
    const QSize client(Twips::toPixels(WidthTwips, dpi), Twips::toPixels(HeightTwips, dpi));
    resize(client);
    WindowPlacement::centreOnScreen(this);
    m_editor.GetSaveDelete();
    m_editor.GetExitNew();
    m_editor.loadDocument();
}

void frmCollectorEditor::Toolbar1_ButtonClick(int index)
{
    switch (index) {
    case 1: m_editor.copy(); break;
    case 2: m_editor.cut(); break;
    case 3: m_editor.paste(); break;
    case 4: m_editor.saveSelectionAsFile(); break;
    case 5: m_editor.selectAll(); break;
    case 6: m_editor.deleteSelection(); break;
    case 7: m_editor.undo(); break;
    case 8: showOptions(); break;
    case 9: m_editor.refresh(); break;
    case 10: m_editor.confirm(); break;
    case 11: close(); break;
    default: break;
    }
}

void frmCollectorEditor::showOptions()
{
    frmCollectorEditorSet dialog(m_editor, this);
    dialog.Form_Load();
    dialog.exec();
}

bool frmCollectorEditor::Form_QueryUnload()
{
    return m_editor.queryUnload();
}

void frmCollectorEditor::closeEvent(QCloseEvent* event)
{
    // Runs once: a closed editor asked to close again (the exit, the end of
    // the session) must not save a second time.
    if (m_closed) {
        event->accept();
        return;
    }
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    m_closed = true;
    event->accept();
}
