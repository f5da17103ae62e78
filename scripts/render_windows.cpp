// Renders every window of Quorrel, filled with a little Chinese text, to PNG
// files for the README: render_windows <output folder> <empty database>
#include "DataSource.h"
#include "Dialogs.h"
#include "DocVersions.h"
#include "ProgramDir.h"
#include "RichText.h"
#include "RowChoiceDialog.h"
#include "Schema.h"
#include "frmAbout.h"
#include "frmAdd.h"
#include "frmCollectorEditor.h"
#include "frmCollectorEditorSet.h"
#include "frmCollectorWindow.h"
#include "frmDataSet.h"
#include "frmHelp.h"
#include "frmMain.h"
#include "frmSet.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QToolTip>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QString outputDir;
int failures = 0;

void save(QWidget& window, const char* name)
{
    window.show();
    QTest::qWait(300); // let the window lay out and paint
    const QString path = outputDir + u'/' + QString::fromLatin1(name) + u".png"_s;
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

bool fillDatabase(const QString& path)
{
    DataSource data;
    data.setDatabaseName(path);
    if (!data.Refresh())
        return false;
    Recordset& rs = data.recordset();
    const QStringList titles = {u"春天的散文"_s, u"读书笔记：红楼梦"_s, u"网页摘录 — 天气预报"_s,
                                u"Qt 6 拖放说明"_s,  u"唐诗三百首选"_s,      u"会议记录 2026-12-07"_s};
    for (int i = 0; i < 30; ++i) {
        const QString title = titles.at(i % titles.size()) + (i >= titles.size() ? u" (%1)"_s.arg(i) : QString());
        if (!rs.AddNew() || !rs.setField(u"标题"_s, title) ||
            !rs.setField(u"内容"_s, u"床前明月光，疑是地上霜。\n举头望明月，低头思故乡。\n\n"
                                    u"这是第 %1 篇文档的内容。"_s.arg(i + 1)) ||
            !rs.Update())
            return false;
    }
    // One clipping that knows where it came from.
    return rs.MoveFirst() && rs.MoveNext() && rs.MoveNext() && rs.Edit()
        && rs.setField(Field::SourceTitle, u"中央气象台天气预报"_s)
        && rs.setField(Field::SourceUrl, u"https://www.nmc.cn/publish/forecast.html"_s)
        && rs.setField(Field::CollectedAt, u"2026-12-07 19:20:00"_s) && rs.Update();
}

// The browser with the tool tip of a row that has a source, as the screen
// shows it (a tool tip is a window of its own).
void saveSourceTip(frmMain& browser, int row, const char* name)
{
    QListView* list = browser.List1();
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QToolTip::showText(list->viewport()->mapToGlobal(rect.center()), browser.rowToolTip(row),
                       list);
    QTest::qWait(500);
    const QRect frame = browser.frameGeometry();
    const QPixmap shot =
        browser.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const QString path = outputDir + u'/' + QString::fromLatin1(name) + u".png"_s;
    if (!shot.save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
    QToolTip::hideText();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: render_windows <output folder> <empty database>\n");
        return 2;
    }
    outputDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outputDir);
    QTemporaryDir home;
    ProgramDirOverride programDir(home.path());
    const QString database = ProgramDir() + u"WebDocuments.mdb"_s;
    if (!QFile::copy(QString::fromLocal8Bit(argv[2]), database) ||
        !QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner) ||
        !fillDatabase(database) ||
        !RichText::saveText(ProgramDir() + u"Doc.dat"_s,
                            u"从网页上拖来的文字都在这里。\n第二段：Quorrel 把选中的文字收集到默认文档。\n"_s)) {
        std::fprintf(stderr, "could not prepare the program folder\n");
        return 1;
    }

    QtDialogs dialogs;
    frmCollectorWindow collector(dialogs);
    collector.Form_Load();
    save(collector, "window-collector");
    collector.menu()->popup(collector.geometry().bottomRight());
    save(*collector.menu(), "window-menu");
    collector.menu()->hide();

    frmSet settings(dialogs, [](const SaveSettings&) {});
    save(settings, "window-settings");

    frmCollectorEditor editor(dialogs);
    editor.Form_Load();
    save(editor, "window-editor");
    frmCollectorEditorSet editorOptions(editor.editor());
    save(editorOptions, "window-editor-options");

    // Three saves from the editor, a day apart, then the list they make.
    const QString doc = ProgramDir() + u"Doc.dat"_s;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int day = 3; day >= 1; --day) {
        RichText::appendText(doc, u"\n第 %1 天收集的文字，越来越多。"_s.arg(4 - day).repeated(40 * day));
        DocVersions::keep(doc, DocVersions::Reason::EditorSave, nullptr, now.addDays(-day));
    }
    RowChoiceDialog versions(CollectorEditor::VersionsTitle, CollectorEditor::VersionsPrompt,
                             CollectorEditor::VersionColumns,
                             CollectorEditor::versionRows(DocVersions::list(doc)), &editor);
    save(versions, "window-versions");

    frmMain browser(dialogs);
    browser.Form_Load();
    QTest::qWait(300);
    browser.List1()->setCurrentIndex(browser.List1()->model()->index(1, 0));
    browser.List1_Click();
    save(browser, "window-browser");
    // Before the delete below: row 2 is the record with a source.
    saveSourceTip(browser, 2, "browser-source");
    // The list's context menu over the window, after a delete it can undo.
    if (const std::optional<qint64> third = browser.browser().List1().bookmark(2)) {
        browser.browser().undoLog().deleteRecord(*third);
        browser.refreshList();
    }
    {
        QMenu* menu = browser.listMenu();
        const QPoint at = browser.List1()->viewport()->mapToGlobal(QPoint(60, 40));
        menu->popup(at);
        QTest::qWait(300);
        QPixmap picture = browser.grab();
        QPainter(&picture).drawPixmap(browser.mapFromGlobal(at), menu->grab());
        menu->close();
        const QString path = outputDir + u"/window-browser-menu.png"_s;
        if (!picture.save(path)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            ++failures;
        } else {
            std::printf("%s\n", qPrintable(path));
        }
    }
    frmAdd add(browser);
    save(add, "window-add");
    frmDataSet display(browser, *browser.text1(), browser.dialogs());
    save(display, "window-display");

    frmHelp help;
    save(help, "window-help");
    frmAbout about;
    save(about, "window-about");
    return failures == 0 ? 0 : 1;
}
