#pragma once

#include "ProgramFolder.h"
#include "RichTextBox.h"
#include "TestDatabase.h"
#include "frmAdd.h"
#include "frmDataSet.h"
#include "frmMain.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <utility>

// A program folder of its own holding a copy of the empty document
// database, and a browser opened on it.
struct LibraryFixture : ProgramFolder {
    using Record = std::pair<QString, QString>; // title, content

    QPointer<frmMain> window;

    explicit LibraryFixture(bool withDatabase = true)
    {
        if (withDatabase)
            TestFiles::copyEmptyDatabase(databasePath());
    }
    ~LibraryFixture() { delete window.data(); }

    QString databasePath() const { return ProgramDir() + QStringLiteral("WebDocuments.mdb"); }

    // Stores records in one transaction, so the disk syncs once.
    bool store(const QList<Record>& records) const
    {
        SqliteDatabase db;
        SqliteStatement insert;
        if (!db.open(databasePath(), SqliteOpenMode::ReadWrite) || !db.exec("BEGIN")
            || !insert.prepare(db, "INSERT INTO WebDocuments (\"标题\", \"内容\") VALUES (?1, ?2)"))
            return false;
        for (const auto& [title, content] : records) {
            insert.reset();
            if (!insert.bindText(1, title) || !insert.bindText(2, content)
                || insert.step() != SqliteStep::Done)
                return false;
        }
        insert.finalize();
        return db.exec("COMMIT");
    }
    static QList<Record> threeRecords()
    {
        return {{QStringLiteral("第一篇"), QStringLiteral("一的内容")},
                {QStringLiteral("第二篇"), QStringLiteral("二的内容\n第二行")},
                {QStringLiteral("第三篇"), QStringLiteral("三的内容")}};
    }
    // Every record in the file, in record order.
    QList<Record> stored() const
    {
        QList<Record> all;
        for (const QString& record : TestFiles::recordsIn(databasePath()))
            all.append({record.section(u'|', 0, 0), record.section(u'|', 1)});
        return all;
    }

    frmMain& open()
    {
        window = new frmMain(dialogs);
        // Every change of the list keeps the model's promises to its view.
        new QAbstractItemModelTester(window->List1()->model(),
                                     QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     window);
        window->show();
        window->Form_Load();
        return *window;
    }

    // The titles the list shows, as the view asks for them.
    QStringList listed() const
    {
        QStringList titles;
        const QAbstractItemModel* model = window->List1()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            titles << model->index(row, 0).data().toString();
        return titles;
    }
    // A user's choice of a row.
    void click(int row) const
    {
        QListView* list = window->List1();
        list->setCurrentIndex(list->model()->index(row, 0));
    }
    QString shown() const { return window->contentText(); }

    QPushButton* button(const char* name) const
    {
        return window->findChild<QPushButton*>(QString::fromLatin1(name));
    }

    // Runs deferred deletions, so closed windows are gone.
    static void settle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
};
