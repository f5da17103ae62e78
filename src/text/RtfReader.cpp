#include "RtfReader.h"

#include "Encoding.h"
#include "Rtf.h"

#include <cstring>

namespace Rtf {
namespace detail {
namespace {

enum CharClass : quint8 { Plain, Special, Ignored, High };

constexpr std::array<quint8, 256> kCharClass = [] {
    std::array<quint8, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = c >= 0x80 ? High : c >= 0x20 && c < 0x7F ? Plain : Ignored;
    table['\\'] = table['{'] = table['}'] = Special;
    table['\t'] = Special; // a raw tab is a tab
    return table;
}();

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

// The undo stack holds records read from its end: a record's payload, then
// its tag. A field's record keeps the value the field had before the group
// changed it; a group marker separates one group's records from the
// enclosing group's. Groups keeps, as 8 bytes, how many nested groups opened
// one inside the other with no change between them.
namespace {

enum Tag : quint8 {
    DestTag, HolderTag, HiddenTag, UcTag, RunTag, AssocTag, FontTag0, FontTag1, FontTag2,
    Group = 0x10,
    Groups = 0x11,
};

size_t payloadSize(quint8 tag)
{
    switch (tag) {
    case UcTag: return sizeof(qint16);
    case FontTag0:
    case FontTag1:
    case FontTag2: return sizeof(int);
    case Group: return 0;
    case Groups: return sizeof(qint64);
    default: return 1;
    }
}

bool isGroupMarker(quint8 tag)
{
    return tag == Group || tag == Groups;
}

// The payload of the record whose tag is at `tagAt`.
template <typename T>
T valueBefore(const ByteStack& undo, size_t tagAt)
{
    T value;
    undo.read(tagAt - sizeof(T), &value, sizeof(T));
    return value;
}

// Sets the field `tag` of `state` to the value its record at `tagAt` keeps.
void restore(State& state, const ByteStack& undo, size_t tagAt)
{
    const quint8 tag = undo[tagAt];
    switch (tag) {
    case DestTag: state.dest = Dest(undo[tagAt - 1]); break;
    case HolderTag: state.holder = Holder(undo[tagAt - 1]); break;
    case HiddenTag: state.hidden = undo[tagAt - 1] != 0; break;
    case UcTag: state.uc = valueBefore<qint16>(undo, tagAt); break;
    case RunTag: state.run = Script(undo[tagAt - 1]); break;
    case AssocTag: state.assoc = Script(undo[tagAt - 1]); break;
    default: state.fonts[size_t(tag - FontTag0)] = valueBefore<int>(undo, tagAt); break;
    }
}

qint64 groupCount(const ByteStack& undo)
{
    return valueBefore<qint64>(undo, undo.size() - 1);
}

void setGroupCount(ByteStack& undo, qint64 count)
{
    undo.write(undo.size() - 1 - sizeof count, &count, sizeof count);
}

} // namespace

void Reader::pushUndo(quint8 tag, const void* value, size_t size)
{
    quint8 record[sizeof(qint64) + 1];
    if (size > 0)
        std::memcpy(record, value, size);
    record[size] = tag;
    undo_.push(record, size + 1);
    saved_ |= quint16(1u << tag);
}

State& Reader::mutableState()
{
    saveChanges();
    before_ = state_;
    handedOut_ = true;
    return state_;
}

// Keeps the old value of each field changed since mutableState() handed the
// state out, unless the group's record of that field is kept already.
void Reader::saveChanges()
{
    if (!handedOut_)
        return;
    handedOut_ = false;
    const auto save = [this](quint8 tag, auto before, auto now) {
        if (before != now && !(saved_ & (1u << tag)))
            pushUndo(tag, &before, sizeof before);
    };
    save(DestTag, quint8(before_.dest), quint8(state_.dest));
    save(HolderTag, quint8(before_.holder), quint8(state_.holder));
    save(HiddenTag, quint8(before_.hidden), quint8(state_.hidden));
    save(UcTag, before_.uc, state_.uc);
    save(RunTag, quint8(before_.run), quint8(state_.run));
    save(AssocTag, quint8(before_.assoc), quint8(state_.assoc));
    for (size_t i = 0; i < before_.fonts.size(); ++i)
        save(quint8(FontTag0 + i), before_.fonts[i], state_.fonts[i]);
}

const State* Reader::parentState()
{
    saveChanges();
    if (depth_ <= 1)
        return nullptr;
    // This group's records undone: at most one per field.
    parent_ = state_;
    for (size_t at = undo_.size(); at > 0 && !isGroupMarker(undo_[at - 1]);
         at -= 1 + payloadSize(undo_[at - 1]))
        restore(parent_, undo_, at - 1);
    return &parent_;
}

void Reader::openGroup()
{
    saveChanges();
    if (depth_++ == 0) {
        state_ = State{};
        return;
    }
    savedAt_[size_t(depth_ - 1) % savedAt_.size()] = {depth_ - 1, saved_};
    // A marker on top: the group around the new one changed nothing.
    if (!undo_.empty() && undo_.back() == Groups) {
        setGroupCount(undo_, groupCount(undo_) + 1);
    } else if (!undo_.empty() && undo_.back() == Group) {
        undo_.pop(1);
        const qint64 two = 2;
        pushUndo(Groups, &two, sizeof two);
    } else {
        pushUndo(Group, nullptr, 0);
    }
    saved_ = 0;
    if (state_.holder != Holder::None) { // a holder is its own group's alone
        const quint8 holder = quint8(state_.holder);
        pushUndo(HolderTag, &holder, sizeof holder);
        state_.holder = Holder::None;
    }
}

void Reader::closeGroup()
{
    saveChanges();
    // A text box's text is paragraphs of its own, its last one included.
    if (state().holder == Holder::ShapeText) {
        if (showing()) {
            const Spot here = spotHere(true); // more of that paragraph goes before this brace
            flushBytes();
            if (paragraphEnd_ != out_.size() && !boxBreak_ && !out_.isEmpty()) {
                paragraphSpot_ = here;
                endParagraph();
            }
        }
        boxBreak_ = false;
    }
    if (--depth_ <= 0)
        return; // the document's group: nothing around it to return to
    while (!undo_.empty() && !isGroupMarker(undo_.back())) {
        restore(state_, undo_, undo_.size() - 1);
        undo_.pop(1 + payloadSize(undo_.back()));
    }
    if (!undo_.empty() && undo_.back() == Groups && groupCount(undo_) > 2) {
        setGroupCount(undo_, groupCount(undo_) - 1);
    } else if (!undo_.empty() && undo_.back() == Groups) {
        undo_.pop(1 + sizeof(qint64));
        undo_.push(Group);
    } else if (!undo_.empty()) {
        undo_.pop(1);
    }
    // Which fields the enclosing group has saved: as noted when this group
    // opened, or else its records up to its marker.
    const SavedAt& noted = savedAt_[size_t(depth_) % savedAt_.size()];
    if (noted.depth == depth_) {
        saved_ = noted.saved;
        return;
    }
    saved_ = 0;
    for (size_t at = undo_.size(); at > 0 && !isGroupMarker(undo_[at - 1]);
         at -= 1 + payloadSize(undo_[at - 1]))
        saved_ |= quint16(1u << undo_[at - 1]);
}

void Reader::endParagraph()
{
    putChar(u'\n');
    paragraphEnd_ = out_.size();
}

QString Reader::run()
{
    // Nothing before the document's first '{' is read.
    while (p_ < end_ && *p_ != '{')
        ++p_;
    while (p_ < end_) {
        const char c = *p_;
        switch (kCharClass[uchar(c)]) {
        case Special:
            tokenStart_ = p_;
            if (c == '{' || c == '}') {
                ++p_;
                fallback_ = 0; // a fallback never spans groups
                star_ = false;
                if (c == '{') {
                    if (leadPending_)
                        flushBytes(); // nor does a character's pair of bytes
                    openGroup();
                } else {
                    if (depth_ == 1)
                        closeDocument();
                    if (leadPending_)
                        flushBytes();
                    closeGroup();
                    if (depth_ == 0)
                        p_ = end_; // the document ends with its group
                }
            } else if (c == '\\') {
                ++p_;
                readControl();
            } else { // raw tab
                ++p_;
                if (fallback_ > 0)
                    --fallback_;
                else if (showing())
                    putChar(u'\t');
            }
            break;
        case Plain: {
            if (fallback_ > 0) {
                ++p_;
                --fallback_;
                break;
            }
            if (leadPending_ && takesAsTrail(c)) {
                ++p_;
                putByte(uchar(c));
                break;
            }
            const char* start = p_;
            while (p_ < end_ && kCharClass[uchar(*p_)] == Plain)
                ++p_;
            if (showing()) {
                flushBytes();
                if (boxBreak_)
                    breakBeforeBox(true);
                out_.appendLatin1(start, p_ - start);
            }
            break;
        }
        case High: // 8-bit text some writers leave unescaped, in the code page
            ++p_;
            if (fallback_ > 0)
                --fallback_;
            else
                putByte(uchar(c));
            break;
        default: // CR, LF and other control bytes are no text
            ++p_;
            break;
        }
    }
    flushBytes();
    if (paragraphEnd_ == out_.size() && !out_.isEmpty())
        out_.chop(1); // the \par that ends the last paragraph
    return out_.take();
}

void Reader::closeDocument()
{
    const Spot here = spotHere(true);
    flushBytes(); // they may be text after the last paragraph end
    ending_.closed = true;
    ending_.spot = paragraphEnd_ == out_.size() && !out_.isEmpty() ? paragraphSpot_ : here;
}

void Reader::readControl()
{
    if (p_ == end_)
        return;
    if (!isLetter(*p_)) {
        const char c = *p_++;
        if (c == '\'') { // \'hh: read even inside a fallback, to skip both digits
            int value = 0;
            int digits = 0;
            while (digits < 2 && p_ < end_ && hexValue(*p_) >= 0) {
                value = value * 16 + hexValue(*p_++);
                ++digits;
            }
            if (fallback_ > 0)
                --fallback_;
            else if (digits > 0)
                putByte(uchar(value));
            return;
        }
        if (fallback_ > 0) {
            --fallback_;
            return;
        }
        controlSymbol(c);
        return;
    }
    const char* start = p_;
    while (p_ < end_ && isLetter(*p_))
        ++p_;
    const std::string_view word(start, size_t(p_ - start));
    bool negative = false;
    if (p_ + 1 < end_ && *p_ == '-' && isDigit(p_[1])) {
        negative = true;
        ++p_;
    }
    bool hasParam = false;
    qint64 param = 0;
    while (p_ < end_ && isDigit(*p_)) {
        hasParam = true;
        if (param < 100'000'000'000) // keeps reading digits, saturating
            param = param * 10 + (*p_ - '0');
        ++p_;
    }
    if (negative)
        param = -param;
    if (p_ < end_ && *p_ == ' ')
        ++p_;            // the delimiting space belongs to the word
    if (word == "bin") { // its data is skipped even inside a fallback
        const qint64 skip = std::clamp<qint64>(param, 0, end_ - p_);
        p_ += skip;
    }
    if (fallback_ > 0) {
        --fallback_;
        return;
    }
    if (word.size() == 1 && word[0] == 'u') // by far the most frequent word in our files
        unicode(hasParam, param);
    else
        controlWord(word, hasParam, param);
}

void Reader::unicode(bool hasParam, qint64 param)
{
    star_ = false;
    if (!hasParam)
        return;
    if (showing()) {
        // Negative values are the upper half of 16 bits; some writers put a
        // whole code point above U+FFFF into one \u.
        const qint64 v = param < 0 ? param + 0x10000 : param;
        if (v > 0xFFFF && v <= 0x10FFFF) {
            const char32_t cp = char32_t(v);
            putChar(QChar::highSurrogate(cp));
            putChar(QChar::lowSurrogate(cp));
        } else {
            putChar(char16_t(v & 0xFFFF));
        }
    }
    fallback_ = state().uc;
    if (fallback_ == 1 && p_ < end_ && kCharClass[uchar(*p_)] == Plain) {
        ++p_; // the usual one-character fallback, '?'
        fallback_ = 0;
    }
}

int Reader::codePage()
{
    const int font = textFont();
    if (font != cachedFont_) {
        cachedFont_ = font;
        const auto it = fonts_.constFind(font);
        cachedCodePage_ = docCodePage_;
        if (it != fonts_.constEnd())
            cachedCodePage_ = it->explicitPage ? it->explicitPage
                              : it->charset    ? it->charset
                                               : docCodePage_;
    }
    return cachedCodePage_;
}

void Reader::putByte(uchar b)
{
    if (!showing())
        return;
    const int page = codePage();
    if (!bytes_.isEmpty() && page != bytesCodePage_)
        flushBytes();
    // The byte after a lead byte is its trail byte, whatever its value.
    if (page != dbcsPage_) {
        dbcsPage_ = page;
        dbcs_ = dbcsOf(page);
    }
    if (page == 936 && b == 0x80 && !leadPending_) {
        putChar(u'\u20AC'); // Windows' GBK has the euro sign there, GB18030 nothing
        return;
    }
    leadPending_ = !leadPending_ && isLeadByte(dbcs_, b);
    bytes_.append(char(b));
    bytesCodePage_ = page;
}

// Word and WordPad escape only bytes from 0x80 up: a character's trail byte
// below that comes as a plain character (or an escaped \\, \{, \}).
bool Reader::takesAsTrail(char c)
{
    return showing() && codePage() == bytesCodePage_ && isAsciiTrailByte(dbcs_, uchar(c));
}

void Reader::flushBytes()
{
    if (bytes_.isEmpty())
        return;
    const QByteArrayView bytes(bytes_.data(), bytes_.size());
    QString text;
    if (leadPending_) {
        // A lead byte whose trail byte never came stands alone, as the code
        // page reads it alone (or U+FFFD): it never takes what follows.
        text = decode(bytesCodePage_, bytes.chopped(1));
        const QString alone = decode(bytesCodePage_, bytes.last(1));
        text += alone.isEmpty() ? QString(QChar::ReplacementCharacter) : alone;
        leadPending_ = false;
    } else {
        text = decode(bytesCodePage_, bytes);
    }
    bytes_.clear();
    if (text.isEmpty())
        return;
    if (boxBreak_)
        breakBeforeBox(true);
    out_.append(text);
}

QStringDecoder& Reader::decoder(int codePage)
{
    auto it = std::find_if(decoders_.begin(), decoders_.end(),
                           [codePage](const auto& d) { return d.first == codePage; });
    // Stateless: a lead byte left alone at the end of a run is dropped
    // instead of swallowing whatever bytes come next.
    const auto make = [codePage] {
        return QStringDecoder(codecName(codePage).constData(), QStringConverter::Flag::Stateless);
    };
    if (it == decoders_.end())
        it = decoders_.insert(decoders_.end(), {codePage, make()});
    else if (it->second.hasError())
        it->second = make(); // hasError() never clears, not even on resetState()
    return it->second;
}

QString Reader::decode(int codePage, QByteArrayView bytes)
{
    QStringDecoder& chosen = decoder(codePage);
    if (!chosen.isValid())
        return Encoding::decodeNarrow(bytes);
    return chosen.decode(bytes);
}

} // namespace detail

QString read(QByteArrayView bytes)
{
    return detail::Reader(bytes).run();
}

bool isRtf(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    while (!bytes.isEmpty() && (bytes.front() == ' ' || bytes.front() == '\t' ||
                                bytes.front() == '\r' || bytes.front() == '\n'))
        bytes = bytes.sliced(1);
    return bytes.startsWith("{\\rtf");
}

} // namespace Rtf
