#pragma once

#include "DocumentBrowser.h"
#include "SearchService.h"
#include "frmDataSet.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class Dialogs;
class QDialog;
class QLabel;
class QAction;
class QLineEdit;
class QListView;
class QMenu;
class QTimer;
class QUrl;
class QPushButton;
class RichTextBox;

// The document browser: the titles of the document database on the left,
// the chosen record's content on the right, ten buttons below. One window at
// most; it deletes itself when closed, so the next opening starts afresh.
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(Dialogs& dialogs, QWidget* parent = nullptr);
    ~frmMain() override;

    // Shows the one browser, creating and loading it when `browser` holds
    // none, else bringing it forward. `dataSet` is kept pointing at its
    // display settings window while that is open.
    static frmMain* open(QPointer<QWidget>& browser, QPointer<QWidget>& dataSet,
                         Dialogs& dialogs);

    void Form_Load();

    // Handlers.
    void List1_Click();
    void Button1_Click();  // 添    加
    void Button2_Click();  // 删    除
    void Button3_Click();  // 导    出 (the shown text to a file)
    void Button4_Click();  // 退    出
    void Button5_Click();  // 修    改
    void Button6_Click();  // 关    于
    void Button7_Click();  // 导    入 (one file)
    void Button8_Click();  // 成批导入
    void Button9_Click();  // 成批导出
    void Button10_Click(); // 显示设置
    // Ctrl+Z and the list menu's 撤销删除 / 撤销修改: the record put back
    // becomes current, shown and chosen in the list.
    void undoLast();

    // The list's context menu for the row at `index` (none when invalid),
    // made afresh each time it opens (the caller shows it; it deletes itself
    // once closed).
    QMenu* listMenu(const QModelIndex& index = {});
    // What the import and export commands work on.
    DocumentBrowser& browser() { return m_browser; }
    DataSource& Data1() { return m_browser.Data1(); }
    Recordset& recordset() { return m_browser.Data1().recordset(); }
    RichTextBox* text1() const { return m_text1; }
    // The content shown, whole, even while the box is still filling.
    QString contentText() const { return m_content; }
    void setContentText(const QString& text);
    // False while a long content is still being put into the box.
    bool contentComplete() const { return m_shownUpTo >= m_content.size(); }
    // Re-reads the record set and fills the list again, keeping the list's
    // scroll position.
    void refreshList();

    QListView* List1() const { return m_list1; }
    // The search field above the list and the line under it telling how the
    // search and its index stand.
    QLineEdit* searchBox() const { return m_searchBox; }
    QLabel* searchState() const { return m_searchState; }
    SearchService& search() { return m_search; }
    // Runs the search typed so far now instead of after the pause.
    void searchNow();
    frmDataSet* dataSetWindow() const { return m_dataSet; }
    Dialogs& dialogs() { return m_dialogs; }

    // Shows a modal dialog (the add-document dialog); tests replace it to
    // work the dialog without a modal loop.
    std::function<void(QDialog&)> runModal;

    // Where records came from: the row's tool tip (source title, address,
    // time); Ctrl+click on a row or "打开来源网页" in the list's menu opens
    // the address in the default web browser, through `openUrl` (tests
    // replace it). "导出全部…" writes every record to one Markdown or JSON
    // Lines file.
    QString rowToolTip(int row);
    bool openSource(int row);
    void exportEverything();
    std::function<bool(const QUrl&)> openUrl;

Q_SIGNALS:
    void dataSetOpened(QWidget* window);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* addButton(const char* name, const QString& caption, void (frmMain::*handler)());

    Dialogs& m_dialogs;
    DocumentBrowser m_browser;
    QListView* m_list1 = nullptr;
    RichTextBox* m_text1 = nullptr;
    QPointer<frmDataSet> m_dataSet;
    void showMoreContent(quint64 showing);
    void showFound(quint64 search, const QList<qint64>& bookmarks, bool ok, bool complete);
    void showIndexProgress(int percent);
    void followWrite(DocumentBrowser::Written what, qint64 bookmark);
    // Chooses the record's row, once it is listed.
    void selectRecord(qint64 bookmark);
    std::optional<qint64> m_selectWhenListed;
    void addSourceItems(QMenu& menu, const QModelIndex& index);

    QLineEdit* m_searchBox = nullptr;
    QLabel* m_searchState = nullptr;
    QTimer* m_searchPause = nullptr;
    SearchService m_search;
    quint64 m_searching = 0; // the search whose result the list waits for
    quint64 m_partsOf = 0;   // the search whose first part the list shows
    int m_indexPercent = 100;
    QString m_foundNote;
    QString m_shownSearch; // the text whose rows the list shows
    bool m_otherRows = false;

    int m_scrollTarget = 0; // where the list stood before it was filled again
    QString m_content;
    qsizetype m_shownUpTo = 0;
    quint64 m_showing = 0; // a new content stops the filling of the last one
};
