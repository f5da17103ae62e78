#include "DocumentBrowser.h"

#include "AccessConversion.h"
#include "Dialogs.h"
#include "ProgramDir.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString TitleField = u"标题"_s;
const QString ContentField = u"内容"_s;

} // namespace

DocumentBrowser::DocumentBrowser(Dialogs& dialogs, QWidget* parent)
    : m_dialogs(dialogs), m_parent(parent)
{
}

bool DocumentBrowser::Form_Load()
{
    m_data.setDatabaseName(ProgramDirectory::withTrailingSlash(ProgramDir())
                           + u"WebDocuments.mdb"_s);
    m_undo.setDatabasePath(m_data.DatabaseName());
    // An older tool's Access database is converted as the list opens it.
    m_data.setAccessConverter(
        [this](const QString& file) { AccessConversion::convert(m_dialogs, m_parent, file); });
    if (Refresh())
        return true;
    // As the data source reports it once its window has loaded; the browser
    // stays open with an empty list and every later operation fails quietly.
    m_dialogs.message(m_parent, m_data.lastError().message, u"文档浏览器"_s,
                      Dialogs::Icon::Warning, Dialogs::Buttons::Ok);
    return false;
}

bool DocumentBrowser::Refresh()
{
    if (!m_data.Refresh()) {
        m_list.clear();
        return false;
    }
    return fill();
}

bool DocumentBrowser::fill()
{
    Recordset& records = m_data.recordset();
    if (!m_filter)
        return m_list.reload(records);
    m_list.showOnly(records, *m_filter);
    return true;
}

void DocumentBrowser::tell(Written what, qint64 bookmark)
{
    if (written)
        written(what, bookmark);
}

void DocumentBrowser::showFound(QList<qint64> bookmarks)
{
    m_filter = std::move(bookmarks);
    fill();
}

void DocumentBrowser::addFound(const QList<qint64>& bookmarks)
{
    if (!m_filter)
        return;
    m_filter->append(bookmarks);
    m_list.appendFound(bookmarks);
}

void DocumentBrowser::showAll()
{
    if (!m_filter)
        return;
    m_filter.reset();
    fill();
}

std::optional<QString> DocumentBrowser::choose(int row)
{
    const std::optional<qint64> bookmark = m_list.bookmark(row);
    Recordset& records = m_data.recordset();
    if (!bookmark || !records.setBookmark(*bookmark))
        return std::nullopt;
    return records.field(ContentField);
}

bool DocumentBrowser::deleteCurrent()
{
    if (m_dialogs.message(m_parent, u"您当真要删除吗？"_s, u"确认删除"_s, Dialogs::Icon::None,
                          Dialogs::Buttons::YesNo)
        != Dialogs::Answer::Yes)
        return false;
    Recordset& records = m_data.recordset();
    const std::optional<qint64> deleted = records.Bookmark();
    // Edit checks what Delete would: a record there, a file that takes writes.
    if (!deleted || !records.Edit())
        return false;
    records.CancelUpdate();
    // The record and its copy for undo go in one step. When the undo file
    // cannot take it the user decides: a delete with no way back is what
    // undo is there to prevent, but a damaged undo file must not stop every
    // delete. Other failures end silently, as a delete always has.
    if (!m_undo.deleteRecord(*deleted)
        && (!undoFileFailed()
            || !goOnWithoutUndo(u"无法保存撤销记录，删除之后将不能撤销。\n仍要删除吗？"_s)
            || !records.Delete()))
        return false;
    records.MoveNext();
    if (records.isEOF())
        records.MoveFirst(); // fails quietly when no record is left
    if (m_filter)
        m_filter->removeOne(*deleted);
    Refresh();
    tell(Written::Deleted, *deleted);
    return true;
}

std::optional<DocumentBrowser::Document> DocumentBrowser::current()
{
    Recordset& records = m_data.recordset();
    std::optional<QString> title = records.field(TitleField);
    if (!title)
        return std::nullopt;
    std::optional<QString> content = records.field(ContentField);
    if (!content)
        return std::nullopt;
    return Document{*title, *content};
}

bool DocumentBrowser::add(const QString& title, const QString& content, QString* error)
{
    if (!m_data.Refresh(error)) {
        m_list.clear();
        return false;
    }
    Recordset& records = m_data.recordset();
    if (!records.AddNew(error) || !records.setField(TitleField, title, error)
        || !records.setField(ContentField, content, error) || !records.Update(error)) {
        records.CancelUpdate();
        fill();
        return false;
    }
    // The list shows the new record at once (a search's list once the
    // search has run again).
    fill();
    tell(Written::Added);
    return true;
}

bool DocumentBrowser::saveCurrent(const QString& title, const QString& content, QString* error)
{
    Recordset& records = m_data.recordset();
    const std::optional<qint64> changed = records.Bookmark();
    if (!records.Edit(error) || !changed) // Edit says why there is none
        return false;
    records.CancelUpdate();
    // As a delete: the change and the old row for undo go in one step.
    if (m_undo.modifyRecord(*changed, title, content)) {
        Refresh();
        tell(Written::Changed, *changed);
        return true;
    }
    if (!undoFileFailed()) {
        if (error)
            *error = m_undo.errorText();
        return false;
    }
    if (!goOnWithoutUndo(u"无法保存撤销记录，修改之后将不能撤销。\n仍要修改吗？"_s)) {
        if (error) // no message: the user chose, and the dialog keeps the texts
            error->clear();
        return false;
    }
    if (!records.Edit(error) || !records.setField(TitleField, title, error)
        || !records.setField(ContentField, content, error) || !records.Update(error)) {
        records.CancelUpdate();
        return false;
    }
    Refresh();
    tell(Written::Changed, *changed);
    return true;
}

bool DocumentBrowser::undoFileFailed() const
{
    return m_undo.failure() == UndoLog::Failure::LogDamaged
        || m_undo.failure() == UndoLog::Failure::LogUnavailable;
}

bool DocumentBrowser::goOnWithoutUndo(const QString& question)
{
    return m_dialogs.message(m_parent, question + u'\n' + m_undo.errorText(), u"撤销记录"_s,
                             Dialogs::Icon::Warning, Dialogs::Buttons::YesNo)
        == Dialogs::Answer::Yes;
}

DocumentBrowser::NextUndo DocumentBrowser::nextUndo()
{
    const std::optional<QList<UndoLog::Entry>> entries = m_undo.entries();
    if (!entries)
        return NextUndo::Unknown;
    if (entries->isEmpty())
        return NextUndo::Nothing;
    return entries->first().kind == UndoLog::Kind::Deleted ? NextUndo::Delete : NextUndo::Modify;
}

std::optional<qint64> DocumentBrowser::undo()
{
    std::optional<qint64> restored = m_undo.undo();
    if (!restored && m_undo.failure() == UndoLog::Failure::ChangedSince) {
        if (m_dialogs.message(m_parent,
                              u"这篇文档在修改之后又被改动或删除过。\n仍要恢复为修改之前的内容吗？"_s,
                              u"撤销修改"_s, Dialogs::Icon::Question, Dialogs::Buttons::YesNo)
            != Dialogs::Answer::Yes)
            return std::nullopt;
        restored = m_undo.undo(true);
    }
    if (!restored) {
        QString why;
        switch (m_undo.failure()) {
        case UndoLog::Failure::None:
        case UndoLog::Failure::Nothing:
            return std::nullopt; // Ctrl+Z with nothing to undo
        case UndoLog::Failure::Busy:
            why = u"文档数据库正被其他程序锁定，请稍后再试。"_s;
            break;
        case UndoLog::Failure::LogDamaged:
            why = u"撤销记录文件已损坏。"_s;
            break;
        case UndoLog::Failure::LogUnavailable:
            why = u"撤销记录文件无法打开。"_s;
            break;
        case UndoLog::Failure::NoDatabase:
            why = u"文档数据库无法打开。"_s;
            break;
        case UndoLog::Failure::RecordGone:
        case UndoLog::Failure::ChangedSince:
        case UndoLog::Failure::Failed:
            break;
        }
        m_dialogs.message(m_parent,
                          u"无法撤销。"_s + why + u"文档没有任何改动。\n"_s + m_undo.errorText(),
                          u"撤销"_s, Dialogs::Icon::Warning, Dialogs::Buttons::Ok);
        return std::nullopt;
    }
    // Back in a search's list too: it is the record the user asked for.
    if (m_filter && !m_filter->contains(*restored))
        m_filter->insert(std::lower_bound(m_filter->begin(), m_filter->end(), *restored)
                             - m_filter->begin(),
                         *restored);
    Refresh();
    m_data.recordset().setBookmark(*restored);
    tell(Written::Restored, *restored);
    return restored;
}

void DocumentBrowser::about()
{
    m_dialogs.message(m_parent, u"程序名称：文档浏览器\n\n版本：1.0"_s, u"关于"_s,
                      Dialogs::Icon::Information, Dialogs::Buttons::Ok);
}
