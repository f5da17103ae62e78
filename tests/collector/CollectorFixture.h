#pragma once

#include "CollectorFace.h"
#include "DataSource.h"
#include "Messages.h"
#include "ProgramFolder.h"
#include "TestDatabase.h"
#include "frmCollectorWindow.h"

#include <QApplication>
#include <QDir>
#include <QMimeData>
#include <QTest>
#include <QWindow>

#include <memory>

// Set.ini holding `lines` in the program's section.
inline QByteArray collectorSet(const QByteArray& lines)
{
    return "[CollectorSet]\n" + lines;
}

// A program folder of its own and a loaded collector in it.
struct CollectorFixture : ProgramFolder {
    std::unique_ptr<frmCollectorWindow> window;

    using ProgramFolder::ProgramFolder;
    ~CollectorFixture()
    {
        window.reset(); // releases the instance lock before the folder goes
    }

    bool load()
    {
        window = std::make_unique<frmCollectorWindow>(dialogs);
        return window->Form_Load();
    }
    Collector& collector() { return window->collector(); }

    // A real drag: enter, move and drop events through the window's handle,
    // so the face's acceptDrops decides; then the queued store runs.
    void dropText(const std::optional<QString>& text)
    {
        QMimeData data;
        if (text)
            data.setText(*text);
        else
            data.setUrls({QUrl::fromLocalFile(QStringLiteral("/etc/hostname"))});
        dropData(data, text.has_value());
    }

    // The same with drag data of the caller's; `carriesText` is whether it
    // offers a plain-text form, for which the face lights up.
    void dropData(const QMimeData& data, bool carriesText)
    {
        QWindow* handle = window->windowHandle();
        QVERIFY(handle);
        const QPointF at(10, 10);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(handle, &enter);
        auto* face = window->findChild<CollectorFace*>(QStringLiteral("Label1"));
        QVERIFY(face);
        QCOMPARE(face->isHighlighted(), carriesText); // lit only for text
        QDragMoveEvent moveEvent(at.toPoint(), Qt::CopyAction | Qt::MoveAction, &data,
                                 Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &moveEvent);
        QVERIFY(moveEvent.isAccepted());
        QCOMPARE(moveEvent.dropAction(), Qt::CopyAction); // the source keeps its text
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(handle, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
        QCoreApplication::processEvents(); // the store is queued after the drag
    }

    // A drag whose source allows only a move; true when the face took it.
    bool dropMoveOnly(const QString& text)
    {
        QMimeData data;
        data.setText(text);
        QWindow* handle = window->windowHandle();
        QDragEnterEvent enter(QPoint(10, 10), Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(handle, &enter);
        QDropEvent drop(QPointF(10, 10), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &drop);
        QCoreApplication::processEvents();
        return enter.isAccepted() || drop.isAccepted();
    }
};
