#include "DocumentBrowser.h"

#include "AccessConversion.h"
#include "Dialogs.h"
#include "ProgramDir.h"

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
    if (!deleted || !records.Delete())
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
    if (!records.Edit(error) || !records.setField(TitleField, title, error)
        || !records.setField(ContentField, content, error) || !records.Update(error)) {
        records.CancelUpdate();
        return false;
    }
    Refresh();
    tell(Written::Changed, changed.value_or(0));
    return true;
}

void DocumentBrowser::about()
{
    m_dialogs.message(m_parent, u"程序名称：文档浏览器\n\n版本：1.0"_s, u"关于"_s,
                      Dialogs::Icon::Information, Dialogs::Buttons::Ok);
}
