#include "frmCollectorWindow.h"

#include "ActiveWindow.h"
#include "CollectChannel.h"
#include "CollectRequest.h"
#include "CollectorFace.h"
#include "Dialogs.h"
#include "ProgramDir.h"
#include "QuorrelIcon.h"
#include "Schema.h"
#include "Settings.h"
#include "SingleInstance.h"
#include "Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

constexpr double WindowTwips = 560;
constexpr double FaceTwips = 540;
const QString HideCaption = u"隐藏悬浮窗"_s;
const QString ShowCaption = u"显示悬浮窗"_s;

} // namespace

frmCollectorWindow::frmCollectorWindow(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_dialogs(dialogs), m_collector(dialogs, this)
{
    setObjectName(u"frmCollectorWindow"_s);
    setWindowTitle(u"Quorrel"_s);
    // Opaque: without a compositor, translucent corners would turn black.
    QPalette frame = palette();
    frame.setColor(QPalette::Window, QColor(0x12, 0x3a, 0x7a));
    setPalette(frame);
    setAutoFillBackground(true);
    m_face = new CollectorFace(this);
    m_face->setObjectName(u"Label1"_s);
    activeWindowTitle = &ActiveWindow::title;
    m_face->dragSourceTitle = [this] { return activeWindowTitle ? activeWindowTitle() : QString(); };
    m_face->onDrop = [this](const std::optional<QString>& text, const ClipSource& source) {
        // Stored once the drag has ended, so the source is not kept waiting
        // while a prompt or a message box is up.
        QTimer::singleShot(0, this, [this, text, source] { Label1_OLEDragDrop(text, source); });
    };
    m_face->onMousePress = [this](QMouseEvent* e) {
        Label1_MouseDown(e->button(), e->globalPosition().toPoint());
    };
    m_face->onMouseMove = [this](QMouseEvent* e) {
        if (m_pressOffset && (e->buttons() & Qt::LeftButton))
            move(e->globalPosition().toPoint() - *m_pressOffset);
    };
    openFolder = [](const QString& dir) { QDesktopServices::openUrl(QUrl::fromLocalFile(dir)); };
    buildMenu();
}

frmCollectorWindow::~frmCollectorWindow() = default;

double frmCollectorWindow::dpi() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInch() : 96.0;
}

bool frmCollectorWindow::Form_Load()
{
    ProgramDirectory::resolve();
    m_instance = std::make_unique<SingleInstance>(ProgramDir());
    if (!m_instance->acquire()) {
        // Never a run without the lock: two collectors would share (and
        // lose) the cached text. Another start that holds it is no problem.
        m_startProblem = m_instance->problem();
        if (!m_startProblem.isEmpty())
            m_dialogs.message(this, m_startProblem, u"提示"_s, Dialogs::Icon::Critical);
        return false;
    }
    // Ours alone now: what an earlier run cached and never wrote goes to
    // Doc.dat before anything else can open it; collected texts an earlier
    // run left unstored are told apart first, as one may be in the cache.
    recoverCollected();
    m_collector.recoverCachedText();

    const int side = Twips::toPixels(WindowTwips, dpi());
    setFixedSize(side, side);
    const int face = Twips::toPixels(FaceTwips, dpi());
    m_face->setGeometry(0, 0, face, face);
    placeAtStart();
    show();
    buildTray();

    // Listening before the database is bound, which may convert an older
    // tool's database and ask questions, so a --collect that started us does
    // not give up meanwhile; what it hands over waits for the save folder.
    // The settings are read first: a text is kept in the mode it came in.
    m_storingCollected = true;
    m_collector.readSettings();
    listenForCollected();
    m_collector.bindDatabase();
    LoadPosition();
    m_collector.prepareSaveDirectory();
    m_storingCollected = false;
    storeCollected();
    return true;
}

void frmCollectorWindow::listenForCollected()
{
    for (const QString& path : CollectChannel::pathsFor(ProgramDir())) {
        m_channel = new CollectServer(this);
        m_channel->take = [this](const QString& text, const CollectSource& source) {
            return collectText(text, source);
        };
        QString error;
        if (!m_channel->listen(path, &error))
            qWarning("quorrel --collect cannot reach this collector at %s: %s",
                     qUtf8Printable(path), qUtf8Printable(error));
    }
}

QString frmCollectorWindow::collectedPath() const
{
    return ProgramDir() + u"Collected.pending"_s;
}

SaveSettings frmCollectorWindow::saveSettings() const
{
    return {m_collector.save, m_collector.CacheUpdate, m_collector.filepath, m_collector.autoname,
            m_collector.tip};
}

bool frmCollectorWindow::collectText(const QString& text, const ClipSource& given)
{
    if (!CollectRequest::isCollectable(text))
        return false;
    ClipSource source = given;
    // A source named without its time (--source-title from a script) was taken now.
    if (!source.isEmpty() && source.time.isEmpty())
        source.time = QDateTime::currentDateTime().toString(Field::CollectedAtFormat);
    // On the disk before the sender is told it is taken.
    CollectedTexts::Entry entry{0, text, source, saveSettings(), std::nullopt};
    m_collectedTexts.setPath(collectedPath());
    QString error;
    if (!m_collectedTexts.add(entry, &error)) {
        qWarning("quorrel --collect: the text cannot be kept: %s", qUtf8Printable(error));
        return false;
    }
    m_collected.push_back({text, source, entry});
    // Stored after the sender has its answer, as a drop is after the drag.
    QTimer::singleShot(0, this, &frmCollectorWindow::storeCollected);
    return true;
}

void frmCollectorWindow::recoverCollected()
{
    m_collectedTexts.setPath(collectedPath());
    const auto left = m_collectedTexts.open();
    for (const CollectedTexts::Entry& entry : left.value_or(QList<CollectedTexts::Entry>())) {
        // A store cut short by a crash after it got there is not made twice.
        if (CollectedTexts::reachedTarget(entry, m_collector))
            m_collectedTexts.finish(entry);
        else
            m_collected.push_back({entry.text, entry.source, entry});
    }
}

void frmCollectorWindow::store(const Queued& item)
{
    if (!item.collected) {
        m_collector.storeDrop(item.text, item.source);
        return;
    }
    // In the save mode it was collected for, whatever the settings now.
    const CollectedTexts::Entry& entry = *item.collected;
    const SaveSettings now = saveSettings();
    const bool otherMode = entry.settings != now;
    if (otherMode) {
        m_collector.takeSettings(entry.settings);
        if (entry.settings.filepath != now.filepath)
            m_collector.prepareSaveDirectory();
    }
    m_collectedTexts.begin(entry, CollectedTexts::targetBefore(entry, m_collector));
    m_collector.storeDrop(item.text, item.source);
    if (!m_ending)
        m_collectedTexts.finish(entry);
    // Back to the settings of the moment, unless the settings dialog chose
    // others while a prompt was up.
    if (otherMode && saveSettings() == entry.settings) {
        m_collector.takeSettings(now);
        if (entry.settings.filepath != now.filepath)
            m_collector.FindFreeFileNumber();
    }
}

void frmCollectorWindow::storeCollected()
{
    // A title prompt or a progress window runs an event loop in which more
    // drops and collected texts may arrive; they wait for it instead of
    // stacking a second prompt on top and sharing the first one's text.
    if (m_storingCollected)
        return;
    m_storingCollected = true;
    // Once the run ends, what waits stays for the next start.
    while (!m_collected.empty() && !m_ending) {
        const Queued item = std::move(m_collected.front());
        m_collected.pop_front();
        store(item);
        m_face->showRecentSources(m_collector.recentSources());
    }
    m_storingCollected = false;
}

void frmCollectorWindow::placeAtStart()
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->availableGeometry();
    move(area.right() - width() - 48, area.top() + 96);
}

void frmCollectorWindow::LoadPosition()
{
    const auto pos = SettingRules::position(ReadSetting(u"left"_s, SettingRules::False),
                                            ReadSetting(u"top"_s, SettingRules::False));
    if (pos)
        move(Twips::toPixels(pos->left, dpi()), Twips::toPixels(pos->top, dpi()));
}

void frmCollectorWindow::Form_Activate()
{
    raise();
}

bool frmCollectorWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(event);
}

void frmCollectorWindow::buildMenu()
{
    m_menu = new QMenu(u"菜单"_s, this);
    m_menu->setObjectName(u"Menu"_s);
    const auto add = [this](const char* name, const QString& caption, void (frmCollectorWindow::*slot)()) {
        QAction* action = m_menu->addAction(caption, this, slot);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    add("Editor", u"启动文档编辑器"_s, &frmCollectorWindow::Editor_Click);
    add("DataExplorer", u"启动文档浏览器"_s, &frmCollectorWindow::DataExplorer_Click);
    add("OpenDir", u"打开文档保存目录"_s, &frmCollectorWindow::OpenDir_Click);
    m_hideWindow = add("HideWindow", HideCaption, &frmCollectorWindow::HideWindow_Click);
    add("Set", u"高级设置"_s, &frmCollectorWindow::Set_Click);
    m_menu->addSeparator()->setObjectName(u"a1"_s);
    add("Help", u"帮助"_s, &frmCollectorWindow::Help_Click);
    add("About", u"关于"_s, &frmCollectorWindow::About_Click);
    add("Exit", u"退出"_s, &frmCollectorWindow::Exit_Click);
}

void frmCollectorWindow::buildTray()
{
    const QIcon icon(QuorrelIcon::picture(64));
    setWindowIcon(icon);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Without a tray icon nothing could bring a hidden collector back.
        m_hideWindow->setEnabled(false);
        return;
    }
    m_tray = new QSystemTrayIcon(icon, this);
    m_tray->setObjectName(u"cSysTray1"_s);
    m_tray->setToolTip(u"Quorrel1.0"_s);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Context)
                    cSysTray1_MouseDown(Qt::RightButton, QCursor::pos());
                else if (reason == QSystemTrayIcon::MiddleClick)
                    cSysTray1_MouseDown(Qt::MiddleButton, QCursor::pos());
            });
    m_tray->show();
}

void frmCollectorWindow::Label1_OLEDragDrop(const std::optional<QString>& text,
                                            const ClipSource& source)
{
    m_collected.push_back({text, source, std::nullopt});
    storeCollected();
}

void frmCollectorWindow::Label1_MouseDown(Qt::MouseButton button, const QPoint& globalPos)
{
    if (button == Qt::LeftButton)
        startMove(globalPos);
    else
        popupMenu(globalPos);
}

void frmCollectorWindow::startMove(const QPoint& globalPos)
{
    m_pressOffset.reset();
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    // A bare X server has no window manager to move us: follow the mouse ourselves.
    m_pressOffset = globalPos - pos();
}

void frmCollectorWindow::cSysTray1_MouseDown(Qt::MouseButton button, const QPoint& globalPos)
{
    if (button != Qt::LeftButton)
        popupMenu(globalPos);
}

void frmCollectorWindow::popupMenu(const QPoint& globalPos)
{
    m_menu->popup(globalPos);
}

namespace {

void openIfThere(const std::function<void()>& open)
{
    if (open)
        open();
}

} // namespace

void frmCollectorWindow::Editor_Click() { openIfThere(m_windows.openEditor); }
void frmCollectorWindow::DataExplorer_Click() { openIfThere(m_windows.openBrowser); }
void frmCollectorWindow::Set_Click() { openIfThere(m_windows.openSettings); }
void frmCollectorWindow::Help_Click() { openIfThere(m_windows.openHelp); }
void frmCollectorWindow::About_Click() { openIfThere(m_windows.openAbout); }

void frmCollectorWindow::OpenDir_Click()
{
    if (openFolder)
        openFolder(m_collector.filepath);
}

void frmCollectorWindow::HideWindow_Click()
{
    if (isVisible()) {
        hide();
        m_hideWindow->setText(ShowCaption);
    } else {
        show();
        raise();
        activateWindow();
        m_hideWindow->setText(HideCaption);
    }
}

namespace {

// False when the window is open and refuses to close.
bool closeIfOpen(QWidget* window)
{
    return !window || !window->isVisible() || window->close();
}

} // namespace

void frmCollectorWindow::Exit_Click()
{
    // The editor goes first: closing it may save its own text to Doc.dat,
    // which must not replace the cached text written after it. A window that
    // stays open stops the exit before anything is written.
    if (!closeIfOpen(m_windows.editor))
        return;

    QString error;
    if (!m_collector.WriteDefaultDocument(&error)) {
        // Keep running with the text in memory, so the user can mend the
        // folder and exit again; nothing is lost silently.
        m_collector.tellSaveFailed();
        return;
    }
    WriteSetting(u"left"_s, SettingRules::twipsText(Twips::fromPixels(x(), dpi())));
    WriteSetting(u"top"_s, SettingRules::twipsText(Twips::fromPixels(y(), dpi())));

    if (!closeIfOpen(m_windows.browser) || !closeIfOpen(m_windows.dataSet))
        return;
    m_exiting = true;
    runEnding();
    if (m_tray)
        m_tray->hide();
    close();
    // Not quit(): that would ask every window again and may be refused,
    // leaving a process without a window or tray icon.
    QCoreApplication::exit(0);
}

void frmCollectorWindow::savePendingQuietly()
{
    // Same order as the exit: an editor that saves on closing goes first.
    if (m_windows.editor)
        m_windows.editor->close();
    m_collector.WriteDefaultDocument();
}

void frmCollectorWindow::closeEvent(QCloseEvent* event)
{
    // Closes from the program itself (the exit item, or the application
    // quitting after a signal) go through; the cached text is saved by then.
    if (m_exiting || !event->spontaneous()) {
        event->accept();
        return;
    }
    // Closed by the window manager (Alt+F4): the orderly way out.
    event->ignore();
    QTimer::singleShot(0, this, &frmCollectorWindow::Exit_Click);
}
