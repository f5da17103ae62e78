#pragma once

#include "CollectChannel.h"
#include "CollectedTexts.h"
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

    // False when another instance runs already, or when the single-instance
    // lock cannot be taken (said in a message; startProblem() then tells):
    // the caller ends at once.
    bool Form_Load();
    const QString& startProblem() const { return m_startProblem; }
    void Form_Activate();

    Collector& collector() { return m_collector; }

    // Handlers of the face, the tray icon and the menu.
    void Label1_OLEDragDrop(const std::optional<QString>& text, const ClipSource& source = {});
    // A text handed over by `quorrel --collect`, with where it came from:
    // stored as a drop of it, in the order the texts came, one title prompt
    // after the other, in the save mode of the moment it came. False (and
    // nothing stored) when it holds nothing to keep or cannot be kept on the
    // disk until stored.
    bool collectText(const QString& text, const ClipSource& source = {});
    // Where texts collected and not yet stored wait on the disk.
    QString collectedPath() const;
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
    // The run ends (a signal, the exit): a collected text whose store an
    // ending cut short (its prompt closed by it) stays for the next start.
    void runEnding() { m_ending = true; }

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
    void recoverCollected();
    void storeCollected();
    // A drop (no entry) or a collected text waiting for its store.
    struct Queued {
        std::optional<QString> text;
        CollectSource source;
        std::optional<CollectedTexts::Entry> collected;
    };
    void store(const Queued& item);
    SaveSettings saveSettings() const;

    Dialogs& m_dialogs;
    Collector m_collector;
    Windows m_windows;
    QString m_startProblem;
    std::unique_ptr<SingleInstance> m_instance;
    CollectorFace* m_face = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_hideWindow = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    CollectServer* m_channel = nullptr;
    std::deque<Queued> m_collected; // drops and collected texts, in order
    CollectedTexts m_collectedTexts;
    bool m_storingCollected = false;
    bool m_ending = false;
    std::optional<QPoint> m_pressOffset; // manual move where the system cannot move us
    bool m_exiting = false;
};
