#pragma once

#include "ProgramDir.h"
#include "RichText.h"
#include "RichTextBox.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "frmCollectorEditor.h"

#include <QAction>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <memory>

// A program folder of its own and, once opened, the editor on it, with every
// modal question answered by a script.
struct EditorFixture {
    QTemporaryDir dir;
    std::unique_ptr<ProgramDirOverride> programDir;
    ScriptedDialogs dialogs;
    QPointer<frmCollectorEditor> editor;

    explicit EditorFixture(const QByteArray& settings = {})
    {
        programDir = std::make_unique<ProgramDirOverride>(dir.path());
        if (!settings.isNull())
            write(u"Set.ini", settings);
    }
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

    QString path(QStringView name) const { return ProgramDir() + name; }
    bool exists(QStringView name) const { return QFile::exists(path(name)); }
    void write(QStringView name, const QByteArray& bytes) const
    {
        QVERIFY(TestFiles::writeBytes(path(name), bytes));
    }
    QByteArray read(QStringView name) const { return TestFiles::bytesOf(path(name)); }
    void writeDocument(const QString& text) const
    {
        QVERIFY(RichText::saveText(path(u"Doc.dat"), text));
    }
    QString documentText() const
    {
        const auto text = RichText::loadText(path(u"Doc.dat"));
        return text ? *text : QStringLiteral("<missing>");
    }
};
