#include "frmMain.h"

#include "BatchProgressDialog.h"
#include "ContentChunks.h"
#include "DocumentExport.h"
#include "Fonts.h"
#include "ImportExport.h"
#include "RichText.h"
#include "RecordSource.h"
#include "RichTextBox.h"
#include "frmAdd.h"
#include "frmDataSet.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QHelpEvent>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTextCursor>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr qreal DesignPoints = 9;
constexpr int SearchPauseMs = 150; // typing on does not start a search per key

} // namespace

frmMain::frmMain(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_dialogs(dialogs), m_browser(dialogs, this)
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"文档浏览器 - Quorrel专用版"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    runModal = [](QDialog& dialog) { dialog.exec(); };
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    auto* listFrame = new QGroupBox(u"文章列表"_s);
    listFrame->setObjectName(u"Frame1"_s);
    m_list1 = new QListView;
    m_list1->setObjectName(u"List1"_s);
    // Uniform rows let the view lay out a million rows without asking for
    // their titles; only the rows on screen are read.
    m_list1->setUniformItemSizes(true);
    m_list1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list1->setTextElideMode(Qt::ElideRight);
    m_list1->setModel(&m_browser.List1());
    m_list1->viewport()->installEventFilter(this); // sources: tool tip, Ctrl+click
    m_searchBox = new QLineEdit;
    m_searchBox->setObjectName(u"TextSearch"_s);
    m_searchBox->setPlaceholderText(u"搜索标题和内容"_s);
    m_searchBox->setClearButtonEnabled(true);
    m_searchState = new QLabel;
    m_searchState->setObjectName(u"LabelSearch"_s);
    m_searchState->hide();
    auto* listLayout = new QVBoxLayout(listFrame);
    listLayout->addWidget(m_searchBox);
    listLayout->addWidget(m_searchState);
    listLayout->addWidget(m_list1);

    m_searchPause = new QTimer(this);
    m_searchPause->setSingleShot(true);
    m_searchPause->setInterval(SearchPauseMs);
    connect(m_searchPause, &QTimer::timeout, this, &frmMain::searchNow);
    connect(m_searchBox, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty()) {
            searchNow(); // every record again at once
            return;
        }
        m_searchPause->start();
    });
    connect(m_searchBox, &QLineEdit::returnPressed, this, &frmMain::searchNow);
    connect(&m_search, &SearchService::found, this, &frmMain::showFound);
    connect(&m_search, &SearchService::indexProgress, this, &frmMain::showIndexProgress);
    m_browser.written = [this](DocumentBrowser::Written what, qint64 bookmark) {
        followWrite(what, bookmark);
    };

    auto* textFrame = new QGroupBox(u"文章内容"_s);
    textFrame->setObjectName(u"Frame2"_s);
    m_text1 = new RichTextBox;
    m_text1->setObjectName(u"text1"_s);
    m_text1->setReadOnly(true); // nothing typed here is ever stored
    m_text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text1->setFont(Fonts::songti(DesignPoints));
    m_text1->setUndoRedoEnabled(false);
    (new QVBoxLayout(textFrame))->addWidget(m_text1);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(listFrame);
    splitter->addWidget(textFrame);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);

    auto* buttons = new QGridLayout;
    const auto place = [&](int row, int column, QPushButton* button) {
        buttons->addWidget(button, row, column);
    };
    place(0, 0, addButton("Button1", u"添    加"_s, &frmMain::Button1_Click));
    place(0, 1, addButton("Button5", u"修    改"_s, &frmMain::Button5_Click));
    place(0, 2, addButton("Button2", u"删    除"_s, &frmMain::Button2_Click));
    place(0, 3, addButton("Button10", u"显示设置"_s, &frmMain::Button10_Click));
    place(0, 4, addButton("Button6", u"关    于"_s, &frmMain::Button6_Click));
    place(1, 0, addButton("Button7", u"导    入"_s, &frmMain::Button7_Click));
    place(1, 1, addButton("Button8", u"成批导入"_s, &frmMain::Button8_Click));
    place(1, 2, addButton("Button3", u"导    出"_s, &frmMain::Button3_Click));
    place(1, 3, addButton("Button9", u"成批导出"_s, &frmMain::Button9_Click));
    place(1, 4, addButton("Button4", u"退    出"_s, &frmMain::Button4_Click));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(820, 560);

    // A row chosen by mouse or keyboard shows its record.
    connect(m_list1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    List1_Click();
            });
    // Filling the list again keeps the user's place in it, once the rows
    // down to it are listed again.
    DocumentList* list = &m_browser.List1();
    connect(list, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        // Other rows (a search's, or all of them again) start at the top.
        m_scrollTarget = m_otherRows ? 0 : m_list1->verticalScrollBar()->value();
    });
    const auto scrollBack = [this] {
        if (m_scrollTarget <= 0)
            return;
        m_list1->doItemsLayout();
        QScrollBar* bar = m_list1->verticalScrollBar();
        bar->setValue(m_scrollTarget);
        if (bar->value() == m_scrollTarget || m_browser.List1().isComplete())
            m_scrollTarget = 0;
    };
    connect(list, &QAbstractItemModel::modelReset, this, scrollBack);
    connect(list, &QAbstractItemModel::rowsInserted, this, scrollBack);
    // A record put back far down a long list is chosen once its row is read.
    connect(list, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_selectWhenListed)
            selectRecord(*m_selectWhenListed);
    });

    // Ctrl+Z anywhere in the window but the search field, which undoes its
    // own typing.
    auto* undo = new QAction(this);
    undo->setObjectName(u"mnuUndo"_s);
    undo->setShortcut(QKeySequence::Undo);
    undo->setShortcutContext(Qt::WindowShortcut);
    connect(undo, &QAction::triggered, this, &frmMain::undoLast);
    addAction(undo);
    m_list1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        listMenu(m_list1->indexAt(at))->popup(m_list1->viewport()->mapToGlobal(at));
    });
    // A user who scrolls meanwhile has chosen a place of their own.
    connect(m_list1->verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { m_scrollTarget = 0; });
}

frmMain::~frmMain() = default;

frmMain* frmMain::open(QPointer<QWidget>& browser, QPointer<QWidget>& dataSet, Dialogs& dialogs)
{
    auto* window = qobject_cast<frmMain*>(browser.data());
    if (!window) {
        window = new frmMain(dialogs);
        browser = window;
        connect(window, &frmMain::dataSetOpened, window,
                [&dataSet](QWidget* opened) { dataSet = opened; });
        window->show();
        window->Form_Load();
    } else {
        window->showNormal();
    }
    window->raise();
    window->activateWindow();
    return window;
}

void frmMain::Form_Load()
{
    setContentText(QString());
    if (m_browser.Form_Load())
        m_search.open(Data1().DatabaseName());
}

void frmMain::searchNow()
{
    m_searchPause->stop();
    const QString text = m_searchBox->text();
    if (text.isEmpty()) {
        m_search.cancel();
        m_searching = 0;
        m_foundNote.clear();
        showIndexProgress(m_indexPercent);
        m_shownSearch.clear();
        if (!m_browser.isFiltered())
            return;
        m_otherRows = true;
        m_browser.showAll();
        m_otherRows = false;
        m_list1->scrollToTop();
        return;
    }
    m_searching = m_search.find(text);
}

void frmMain::showFound(quint64 search, const QList<qint64>& bookmarks, bool ok, bool complete)
{
    if (search != m_searching || m_searchBox->text().isEmpty())
        return;
    if (!ok) {
        m_searching = 0;
        return; // the list stays as it was, as after any failed read
    }
    if (m_partsOf != search) {
        m_partsOf = search;
        // A search run again after a write keeps the place; a new one does not.
        m_otherRows = m_shownSearch != m_searchBox->text();
        m_shownSearch = m_searchBox->text();
        m_browser.showFound(bookmarks);
        if (m_otherRows)
            m_list1->scrollToTop();
        m_otherRows = false;
    } else {
        m_browser.addFound(bookmarks);
    }
    const int count = m_browser.List1().rowCount();
    if (complete) {
        m_searching = 0;
        m_foundNote = count == 0 ? u"没有找到"_s : u"找到 %1 篇"_s.arg(count);
    } else {
        m_foundNote = u"正在查找，已找到 %1 篇"_s.arg(count);
    }
    showIndexProgress(m_indexPercent);
}

void frmMain::showIndexProgress(int percent)
{
    m_indexPercent = percent;
    QString note = m_searchBox->text().isEmpty() ? QString() : m_foundNote;
    if (percent >= 0 && percent < 100) {
        const QString building = u"正在建立搜索索引 %1%"_s.arg(percent);
        note = note.isEmpty() ? building : note + u"（"_s + building + u"）"_s;
    }
    m_searchState->setText(note);
    m_searchState->setVisible(!note.isEmpty());
}

void frmMain::followWrite(DocumentBrowser::Written what, qint64 bookmark)
{
    switch (what) {
    case DocumentBrowser::Written::Deleted:
        m_search.forget(bookmark);
        break;
    case DocumentBrowser::Written::Changed:
        m_search.reindex(bookmark);
        break;
    case DocumentBrowser::Written::Restored:
        // A search's list keeps the record put back, though it may not
        // match: it is the one the user asked for. No new search.
        m_search.reindex(bookmark);
        m_search.recordsChanged();
        return;
    case DocumentBrowser::Written::Added:
    case DocumentBrowser::Written::Refreshed:
        break;
    }
    m_search.recordsChanged();
    // A search's list is searched again: a new or changed record may now
    // match, a changed one may no longer.
    if (!m_searchBox->text().isEmpty())
        searchNow();
}

QPushButton* frmMain::addButton(const char* name, const QString& caption,
                                void (frmMain::*handler)())
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, handler);
    return button;
}

void frmMain::setContentText(const QString& text)
{
    m_content = RichText::normalizeLineBreaks(text);
    m_shownUpTo = 0;
    m_text1->setPlainText(QString());
    showMoreContent(++m_showing);
}

void frmMain::showMoreContent(quint64 showing)
{
    if (showing != m_showing || m_shownUpTo >= m_content.size())
        return;
    qsizetype next = 0;
    const QString piece = ContentChunks::piece(m_content, m_shownUpTo, &next);
    QTextCursor cursor(m_text1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(piece);
    m_shownUpTo = next;
    if (next < m_content.size())
        QTimer::singleShot(0, this, [this, showing] { showMoreContent(showing); });
}

void frmMain::refreshList()
{
    m_browser.Refresh();
    followWrite(DocumentBrowser::Written::Refreshed, 0);
}

QMenu* frmMain::listMenu(const QModelIndex& index)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(u"ListMenu"_s);
    menu->setAttribute(Qt::WA_DeleteOnClose);

    // Undo of the last delete or modify, worded after it; greyed out when
    // there is none. When the undo file cannot be read, choosing it says why.
    {
        QString text = u"撤销"_s;
        const DocumentBrowser::NextUndo next = m_browser.nextUndo();
        if (next == DocumentBrowser::NextUndo::Delete)
            text = u"撤销删除"_s;
        else if (next == DocumentBrowser::NextUndo::Modify)
            text = u"撤销修改"_s;
        QAction* undo = menu->addAction(text, this, &frmMain::undoLast);
        undo->setObjectName(u"mnuListUndo"_s);
        undo->setShortcut(QKeySequence::Undo);
        undo->setShortcutContext(Qt::WidgetShortcut); // only shown here: the window's acts
        undo->setEnabled(next != DocumentBrowser::NextUndo::Nothing);
    }
    menu->addSeparator();
    addSourceItems(*menu, index);
    return menu;
}

void frmMain::undoLast()
{
    if (const std::optional<qint64> restored = m_browser.undo())
        selectRecord(*restored);
}

void frmMain::selectRecord(qint64 bookmark)
{
    const int row = m_browser.List1().rowOf(bookmark);
    m_selectWhenListed.reset();
    if (row < 0) {
        if (!m_browser.List1().isComplete())
            m_selectWhenListed = bookmark;
        return;
    }
    m_scrollTarget = 0;
    const QModelIndex index = m_browser.List1().index(row, 0);
    if (m_list1->currentIndex() == index)
        List1_Click();
    else
        m_list1->setCurrentIndex(index); // shows its content, as a click does
    m_list1->scrollTo(index);
}

void frmMain::List1_Click()
{
    m_selectWhenListed.reset(); // the user's own choice wins
    const QModelIndex index = m_list1->currentIndex();
    if (!index.isValid())
        return;
    if (const std::optional<QString> content = m_browser.choose(index.row()))
        setContentText(*content);
}

void frmMain::Button1_Click()
{
    frmAdd dialog(*this);
    runModal(dialog);
}

void frmMain::Button2_Click()
{
    if (m_browser.deleteCurrent())
        setContentText(QString());
}

void frmMain::Button3_Click()
{
    ImportExport::exportShown(m_dialogs, this, contentText());
}

void frmMain::Button4_Click()
{
    close();
}

void frmMain::Button5_Click()
{
    const std::optional<DocumentBrowser::Document> document = m_browser.current();
    if (!document)
        return; // no current record: the dialog is never shown
    frmAdd dialog(*this);
    dialog.setWindowTitle(frmAdd::EditCaption);
    dialog.Button1->setText(u"修    改"_s);
    dialog.Check1->hide();
    dialog.text1->setText(document->title);
    dialog.text2->setText(document->content);
    runModal(dialog);
}

void frmMain::Button6_Click()
{
    m_browser.about();
}

void frmMain::Button7_Click()
{
    if (ImportExport::importFile(m_dialogs, this, Data1()))
        refreshList();
}

void frmMain::Button8_Click()
{
    BatchProgressDialog progress(this);
    if (ImportExport::importFolder(m_dialogs, this, Data1(), progress).done > 0)
        refreshList();
}

void frmMain::Button9_Click()
{
    BatchProgressDialog progress(this);
    ImportExport::exportAll(m_dialogs, this, Data1(), progress);
}

void frmMain::Button10_Click()
{
    if (m_dataSet) {
        m_dataSet->showNormal();
        m_dataSet->raise();
        m_dataSet->activateWindow();
        return;
    }
    m_dataSet = new frmDataSet(*this, *m_text1, m_dialogs);
    m_dataSet->Form_Load();
    Q_EMIT dataSetOpened(m_dataSet);
}

// --- Sources and the export of everything ---

void frmMain::addSourceItems(QMenu& menu, const QModelIndex& index)
{
    const int row = index.isValid() ? index.row() : -1;
    QAction* open = menu.addAction(u"打开来源网页"_s, this, [this, row] { openSource(row); });
    open->setObjectName(u"mnuOpenSource"_s);
    const std::optional<qint64> bookmark = m_browser.List1().bookmark(row);
    open->setEnabled(bookmark && RecordSource::webAddress(RecordSource::read(
                                     Data1().DatabaseName(), *bookmark)));
    menu.addAction(u"导出全部…"_s, this, &frmMain::exportEverything)
        ->setObjectName(u"mnuExportAll"_s);
}

QString frmMain::rowToolTip(int row)
{
    const std::optional<qint64> bookmark = m_browser.List1().bookmark(row);
    if (!bookmark)
        return {};
    return RecordSource::toolTip(RecordSource::read(Data1().DatabaseName(), *bookmark));
}

bool frmMain::openSource(int row)
{
    const std::optional<qint64> bookmark = m_browser.List1().bookmark(row);
    if (!bookmark)
        return false;
    const std::optional<QUrl> url =
        RecordSource::webAddress(RecordSource::read(Data1().DatabaseName(), *bookmark));
    return url && openUrl(*url);
}

void frmMain::exportEverything()
{
    BatchProgressDialog progress(this);
    DocumentExport::exportAsked(m_dialogs, this, Data1().DatabaseName(), progress);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list1->viewport()) {
        if (event->type() == QEvent::ToolTip) {
            const auto* help = static_cast<QHelpEvent*>(event);
            const QModelIndex index = m_list1->indexAt(help->pos());
            const QString tip = index.isValid() ? rowToolTip(index.row()) : QString();
            if (tip.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), tip, m_list1, m_list1->visualRect(index));
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QModelIndex index = m_list1->indexAt(mouse->position().toPoint());
            if (mouse->button() == Qt::LeftButton
                && mouse->modifiers() == Qt::ControlModifier && index.isValid()) {
                m_list1->setCurrentIndex(index); // chosen as by a click
                openSource(index.row());
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // The display settings window belongs to this browser's content box.
    if (m_dataSet)
        m_dataSet->close();
    event->accept();
}
