#include "RtfReader.h"

#include "Encoding.h"
#include "Rtf.h"

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

State& Reader::mutableState()
{
    Run& top = stack_.back();
    if (top.groups > 1) {
        --top.groups;
        const State copy = top.state;
        stack_.push_back({copy, 1});
    }
    return stack_.back().state;
}

const State* Reader::parentState() const
{
    if (stack_.back().groups > 1)
        return &stack_.back().state;
    return stack_.size() > 1 ? &stack_[stack_.size() - 2].state : nullptr;
}

void Reader::openGroup()
{
    if (stack_.empty()) {
        stack_.push_back({State{}, 1});
        return;
    }
    State child = state();
    child.holder = Holder::None;
    if (child == state())
        ++stack_.back().groups;
    else
        stack_.push_back({child, 1});
}

void Reader::closeGroup()
{
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
    if (--stack_.back().groups == 0)
        stack_.pop_back();
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
                    if (stack_.size() == 1 && stack_.back().groups == 1)
                        closeDocument();
                    if (leadPending_)
                        flushBytes();
                    closeGroup();
                    if (stack_.empty())
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
