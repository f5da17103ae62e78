#pragma once

#include "ProgramFolder.h"
#include "RichTextBox.h"
#include "frmCollectorEditor.h"

#include <QAction>
#include <QPointer>
#include <QTest>
#include <QToolBar>

// A program folder of its own and, once opened, the editor on it.
struct EditorFixture : ProgramFolder {
    QPointer<frmCollectorEditor> editor;

    using ProgramFolder::ProgramFolder;
    ~EditorFixture() { delete editor.data(); }

    frmCollectorEditor* open() { return frmCollectorEditor::open(editor, dialogs); }
    CollectorEditor& logic() { return editor->editor(); }
    RichTextBox& box() { return *editor->text1(); }

    // Closes through the window, as the close box does; true when it closed.
    bool close()
    {
        const bool closed = editor->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return closed;
    }
    void click(int button) { editor->Toolbar1_ButtonClick(button); }
    void select(int from, int to)
    {
        QTextCursor cursor = box().textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        box().setTextCursor(cursor);
    }
};
