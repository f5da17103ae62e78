#include "Collector.h"

#include "AccessConversion.h"
#include "Dialogs.h"
#include "DropText.h"
#include "Encoding.h"
#include "ProgramDir.h"
#include "RichText.h"
#include "SafeFile.h"
#include "Schema.h"
#include "Settings.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

const QString Saved = u"文件保存成功！"_s;
const QString Failed = u"文档保存失败！"_s;
const QString Cancelled = u"文档保存已取消！"_s;
constexpr std::size_t RecentSources = 5;

bool isOrdinaryFile(const QString& path)
{
    return QFileInfo(path).isFile();
}

// Anything by that name, a dangling link included, keeps the name from us.
bool isTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

Collector::Collector(Dialogs& dialogs, QWidget* parent) : m_dialogs(dialogs), m_parent(parent)
{
}

void Collector::GetSaveMode()
{
    save = SettingRules::saveMode(ReadSetting(u"save"_s, u"append"_s));
}

void Collector::GetTip()
{
    tip = SettingRules::onUnlessFalse(ReadSetting(u"Tip"_s, SettingRules::True));
}

void Collector::GetCacheUpdate()
{
    CacheUpdate = SettingRules::onUnlessFalse(ReadSetting(u"CacheUpdate"_s, SettingRules::True));
}

void Collector::GetAutoName()
{
    autoname = SettingRules::onlyIfTrue(ReadSetting(u"AutoName"_s, SettingRules::False));
}

void Collector::GetFilePath()
{
    filepath = SettingRules::resolveFilePath(ReadSetting(u"filepath"_s, u"default"_s), ProgramDir());
}

void Collector::readSettings()
{
    GetSaveMode();
    GetTip();
    GetCacheUpdate();
    GetAutoName();
    GetFilePath();
}

void Collector::takeSettings(const SaveSettings& chosen)
{
    save = chosen.save;
    CacheUpdate = chosen.CacheUpdate;
    filepath = chosen.filepath;
    autoname = chosen.autoname;
    tip = chosen.tip;
}

void Collector::bindDatabase()
{
    const QString path = ProgramDir() + u"WebDocuments.mdb"_s;
    Data1.setDatabaseName(path);
    // An older tool's Access database is converted at the load, and at a
    // drop should one be copied in while the collector runs.
    Data1.setAccessConverter(
        [this](const QString& file) { AccessConversion::convert(m_dialogs, m_parent, file); });
    AccessConversion::convert(m_dialogs, m_parent, path);
}

void Collector::prepareSaveDirectory()
{
    SafeFile::makeFolder(filepath); // one level only; an existing folder is fine
    SafeFile::removeLeftovers(filepath); // numbered files a crash left half-made
    FindFreeFileNumber();
}

void Collector::FindFreeFileNumber()
{
    NextFileNumber = 0;
    // Ends also when every number is taken: the counter then rests on the
    // last one, where the next create-mode drop finds no free file.
    while (NextFileNumber < LastFileNumber && isOrdinaryFile(numberedFilePath(NextFileNumber)))
        ++NextFileNumber;
}

QString Collector::defaultDocumentPath() const
{
    return ProgramDir() + u"Doc.dat"_s;
}

QString Collector::journalPath() const
{
    return ProgramDir() + u"Doc.dat.pending"_s;
}

QString Collector::numberedFilePath(int number) const
{
    return filepath + QString::number(number) + u".txt"_s;
}

void Collector::storeDrop(const std::optional<QString>& text, const ClipSource& source)
{
    if (save != u"append"_s && save != u"create"_s && save != u"database"_s)
        return;
    if (!text) {
        report(false);
        return;
    }
    DroppedText = DropText::clean(*text);
    m_source = source;
    bool saved = false;
    if (save == u"append"_s) {
        saved = CacheUpdate ? appendCached() : appendToDocument(DroppedText);
    } else if (save == u"create"_s) {
        saved = createNumberedFile();
    } else {
        if (!autoname) {
            // The page's title is offered, never filled in: the box opens
            // empty and an empty answer still cancels.
            DocTitle = m_dialogs.inputText(m_parent, u"请输入文档标题:"_s, u"输入信息"_s, QString(),
                                           source.title).value_or(QString());
            if (DocTitle.isEmpty()) {
                tell(Cancelled); // shown whatever `tip` says
                m_source = {};
                return;
            }
        } else {
            DocTitle = u"文档"_s;
        }
        saved = addRecord();
        DocTitle.clear();
    }
    report(saved);
    if (saved && !source.isEmpty()) {
        m_recentSources.push_front(source);
        if (m_recentSources.size() > RecentSources)
            m_recentSources.pop_back();
    }
    m_source = {};
    DroppedText.clear();
}

bool Collector::appendCached()
{
    if (DroppedText.isEmpty())
        return true;
    // On the disk before the drop counts as saved: the memory alone would
    // not outlive a crash, a kill or a lost display.
    m_journal.setPath(journalPath());
    if (!m_journal.append(DroppedText))
        return false;
    PendingText += DroppedText;
    return true;
}

bool Collector::appendToDocument(const QString& text, QString* error)
{
    // Into the document as it is on disk: nothing of its text is kept here.
    return RichText::appendText(defaultDocumentPath(), text, error);
}

bool Collector::createNumberedFile()
{
    const QByteArray line = Encoding::encodeLines(DroppedText);
    for (;;) {
        const QString path = numberedFilePath(NextFileNumber);
        // Created exclusively: a file that appears after the test is skipped
        // like one that was there, never overwritten.
        if (!isTaken(path)) {
            if (SafeFile::createExclusive(path, line)) {
                if (NextFileNumber < LastFileNumber)
                    ++NextFileNumber;
                return true;
            }
            if (!isTaken(path))
                return false; // the folder is missing or refuses the file
        }
        if (NextFileNumber >= LastFileNumber)
            return false;
        ++NextFileNumber;
    }
}

bool Collector::addRecord()
{
    // The prompt came first: the database is touched only once a title is known.
    if (!Data1.Refresh())
        return false;
    Recordset& records = Data1.recordset();
    if (!records.AddNew() || !records.setField(Field::Title, DocTitle)
        || !records.setField(Field::Content, DroppedText))
        return false;
    // No source, no source fields: the table stays as it is.
    if (!m_source.isEmpty()
        && (!records.setField(Field::SourceTitle, m_source.title)
            || !records.setField(Field::SourceUrl, m_source.url)
            || !records.setField(Field::CollectedAt, m_source.time)))
        return false;
    return records.Update();
}

bool Collector::WriteDefaultDocument(QString* error)
{
    if (PendingText.isEmpty())
        return true;
    // Doc.dat's stamp from right before the append: a crash between the
    // append and the journal's removal is told from one before the append by
    // whether Doc.dat still has it, so the text is written exactly once.
    m_journal.setPath(journalPath());
    if (!m_journal.beginHandOver(FileStamp::of(defaultDocumentPath()), error))
        return false;
    if (!appendToDocument(PendingText, error))
        return false;
    PendingText.clear(); // on disk now: a second call must not append it again
    m_journal.retire();
    return true;
}

void Collector::recoverCachedText()
{
    SafeFile::removeLeftovers(ProgramDir());
    m_journal.setPath(journalPath());
    const auto journal = m_journal.open();
    if (!journal)
        return; // unreadable: left as it is, and cached drops will fail
    if (journal->text.isEmpty() || (journal->handedOver && isInDocument(*journal))) {
        if (m_journal.exists())
            m_journal.retire();
        return;
    }
    PendingText = journal->text;
    WriteDefaultDocument();
}

bool Collector::isInDocument(const CacheJournal::Contents& journal) const
{
    // Unchanged since the hand-over began: the append never happened.
    if (FileStamp::of(defaultDocumentPath()) == journal.documentBefore)
        return false;
    // Changed: by that append, unless another program wrote the file since;
    // then the text is looked for at its end, rather written twice than lost.
    const auto text = RichText::loadText(defaultDocumentPath());
    return text && text->endsWith(RichText::normalizeLineBreaks(journal.text));
}

void Collector::report(bool saved)
{
    if (tip)
        tell(saved ? Saved : Failed);
}

void Collector::tellSaveFailed()
{
    tell(Failed);
}

void Collector::tell(const QString& text)
{
    m_dialogs.message(m_parent, text, u"提示"_s, Dialogs::Icon::Information, Dialogs::Buttons::Ok);
}
