#pragma once

#include "Collector.h"

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class CollectServer;
class CollectorFace;
class Dialogs;
class QAction;
class QMenu;
class QSystemTrayIcon;
class SingleInstance;

// The floating collector: a tiny top-most square without frame or taskbar
// entry. Text dropped on its face is stored by the collector's save mode; its
// menu, reached by a right or middle press on the face or the tray icon,
// leads to the program's other windows.
class frmCollectorWindow : public QWidget {
    Q_OBJECT
public:
    explicit frmCollectorWindow(Dialogs& dialogs, QWidget* parent = nullptr);
    ~frmCollectorWindow() override;

    // False when another instance runs already: the caller ends at once.
    bool Form_Load();
    void Form_Activate();

    Collector& collector() { return m_collector; }

    // Handlers of the face, the tray icon and the menu.
    void Label1_OLEDragDrop(const std::optional<QString>& text, const ClipSource& source = {});
    // A text handed over by `quorrel --collect`, with where it came from:
    // stored as a drop of it, in the order the texts came, one title prompt
    // after the other. False (and nothing stored) when it holds nothing to keep.
    bool collectText(const QString& text, const ClipSource& source = {});
    void Label1_MouseDown(Qt::MouseButton button, const QPoint& globalPos);
    void cSysTray1_MouseDown(Qt::MouseButton button, const QPoint& globalPos);
    void Editor_Click();
    void DataExplorer_Click();
    void OpenDir_Click();
    void HideWindow_Click();
    void Set_Click();
    void Help_Click();
    void About_Click();
    void Exit_Click();

    // The other windows, as their parts of the program provide them. Each
    // opener creates its window once and shows it; null means "not there".
    struct Windows {
        std::function<void()> openEditor;
        std::function<void()> openBrowser;
        std::function<void()> openSettings;
        std::function<void()> openHelp;
        std::function<void()> openAbout;
        QPointer<QWidget> editor;   // closed first at exit: it may save Doc.dat
        QPointer<QWidget> browser;
        QPointer<QWidget> dataSet;
    };
    Windows& windows() { return m_windows; }

    // Opens a folder in the file manager; replaced by tests.
    std::function<void(const QString& dir)> openFolder;
    // The title of the window a drag comes from (ActiveWindow); replaced by tests.
    std::function<QString()> activeWindowTitle;

    QMenu* menu() const { return m_menu; }

    // For ends other than the exit item: closes the editor, then writes the
    // cached text without a word.
    void savePendingQuietly();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    void buildTray();
    void LoadPosition();
    void placeAtStart();
    double dpi() const;
    void startMove(const QPoint& globalPos);
    void popupMenu(const QPoint& globalPos);
    void listenForCollected();
    void storeCollected();

    Collector m_collector;
    Windows m_windows;
    std::unique_ptr<SingleInstance> m_instance;
    CollectorFace* m_face = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_hideWindow = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    CollectServer* m_channel = nullptr;
    struct Collected {
        std::optional<QString> text;
        ClipSource source;
    };
    std::deque<Collected> m_collected; // drops and collected texts, in order
    bool m_storingCollected = false;
    std::optional<QPoint> m_pressOffset; // manual move where the system cannot move us
    bool m_exiting = false;
};
