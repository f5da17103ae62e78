#pragma once

#include "CollectorEditor.h"

#include <QPointer>
#include <QWidget>

class Dialogs;
class QAction;
class QMenu;
class QToolBar;
class RichTextBox;

// The default-document editor: a toolbar of eleven buttons over the text of
// Doc.dat. Modeless; one window at a time (see open()).
class frmCollectorEditor : public QWidget {
    Q_OBJECT
public:
    explicit frmCollectorEditor(Dialogs& dialogs, QWidget* parent = nullptr);
    ~frmCollectorEditor() override;

    // Shows the one editor, creating and loading it when none is open; an
    // open editor is only brought to the front, its text untouched. A closed
    // editor deletes itself, so the next opening reads Doc.dat again.
    static frmCollectorEditor* open(QPointer<frmCollectorEditor>& single, Dialogs& dialogs);

    // Centres the window, reads the options and loads Doc.dat.
    void Form_Load();
    // The close step; false keeps the window open.
    bool Form_QueryUnload();
    // Button 1 to 11 of Toolbar1.
    void Toolbar1_ButtonClick(int index);

    CollectorEditor& editor() { return m_editor; }
    RichTextBox* text1() const { return m_text1; }
    QToolBar* toolbar() const { return m_toolbar; }
    // "历史版本…" (Ctrl+H): the kept versions of Doc.dat, to open one.
    QAction* versionsAction() const { return m_versions; }
    // The text box's context menu: the box's own items and "历史版本…". The
    // caller owns it.
    QMenu* createContextMenu();

    static const QStringList ToolTips;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolbar();
    void showOptions();

    RichTextBox* m_text1 = nullptr;
    QToolBar* m_toolbar = nullptr;
    QAction* m_versions = nullptr;
    CollectorEditor m_editor;
    bool m_closed = false;
};
