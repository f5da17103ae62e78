#pragma once

// The reader's insides, shared by its files: RtfReader.cpp reads the
// document's bytes, RtfControlWords.cpp does what each control word says,
// and the appender reads a document through to find where text may go.
#include "CodePages.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringDecoder>
#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace Rtf::detail {

enum class Dest : quint8 {
    Text,      // body text: shown
    FontTable, // font definitions: read for their charsets, not shown
    Skip,      // anything else that is not body text
};

// A group whose content is skipped but holds one child group that is text
// again: {\object ... {\result text}}, {\upr ansi {\*\ud unicode}}, a
// shape's {\*\shpinst ... {\shptxt text}} and a drawing object's
// {\*\do ... {\dptxbxtext text}}. Shape is the {\shp} group around
// \shpinst (its \shprslt, a copy for older readers, stays skipped);
// ShapeText marks the text group itself, whose paragraph ends with it.
enum class Holder : quint8 { None, Object, Upr, Shape, ShapeInst, Drawing, ShapeText };

// Word keeps a font for each kind of run: \loch (low ANSI), \hich (high
// ANSI) and \dbch (double-byte) text. The last of those words says which
// font the text is in; \f sets that kind's font (every kind's before any is
// named), \af the font of the kind named just before it.
enum class Script : quint8 { Low, High, Double, None };

struct State {
    Dest dest = Dest::Text;
    Holder holder = Holder::None;
    bool hidden = false; // \v
    qint16 uc = 1;       // fallback characters after each \uN
    Script run = Script::None;
    Script assoc = Script::None;          // whose font an \af names; None after \rtlch, \ltrch
    std::array<int, 3> fonts{-1, -1, -1}; // per Script; -1: the default font (\deff)
    int textFont() const { return fonts[size_t(run == Script::None ? Script::Low : run)]; }
    bool operator==(const State&) const = default;
};


// The text read so far. QString::append(QChar) is a call with checks per
// character; this writes into spare room that grows geometrically.
class Output {
public:
    // Counting only: the sizes move as if the text were kept.
    explicit Output(bool counting) : counting_(counting) {}
    qsizetype size() const { return size_; }
    bool isEmpty() const { return size_ == 0; }
    void append(char16_t c)
    {
        if (counting_) {
            ++size_;
            return;
        }
        if (size_ == capacity_)
            grow(1);
        data_[size_++] = c;
    }
    void append(QStringView s)
    {
        if (counting_) {
            size_ += s.size();
            return;
        }
        if (capacity_ - size_ < s.size())
            grow(s.size());
        std::copy(s.utf16(), s.utf16() + s.size(), data_ + size_);
        size_ += s.size();
    }
    void appendLatin1(const char* s, qsizetype n)
    {
        if (counting_) {
            size_ += n;
            return;
        }
        if (capacity_ - size_ < n)
            grow(n);
        for (qsizetype i = 0; i < n; ++i)
            data_[size_ + i] = uchar(s[i]);
        size_ += n;
    }
    void chop(qsizetype n) { size_ -= n; }
    void reserve(qsizetype n)
    {
        if (!counting_ && n > capacity_)
            grow(n - size_);
    }
    QString take()
    {
        if (counting_)
            return QString();
        text_.resize(size_);
        return std::move(text_);
    }

private:
    void grow(qsizetype needed)
    {
        capacity_ = std::max({capacity_ * 2, size_ + needed, qsizetype(256)});
        text_.resize(capacity_);
        data_ = reinterpret_cast<char16_t*>(text_.data());
    }

    bool counting_;
    QString text_;
    char16_t* data_ = nullptr;
    qsizetype size_ = 0;
    qsizetype capacity_ = 0;
};

// A stack of bytes kept in blocks of 64 KB: growing never copies it (nor
// needs room for two copies), and any byte is a shift and a mask away.
class ByteStack {
public:
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    quint8 operator[](size_t i) const { return blocks_[i >> Shift][i & Mask]; }
    quint8& operator[](size_t i) { return blocks_[i >> Shift][i & Mask]; }
    quint8 back() const { return (*this)[size_ - 1]; }
    void push(quint8 byte)
    {
        if ((size_ >> Shift) == blocks_.size())
            blocks_.emplace_back(new quint8[Block]);
        (*this)[size_++] = byte;
    }
    void push(const void* bytes, size_t n)
    {
        if ((size_ & Mask) + n <= Block && (size_ >> Shift) < blocks_.size()) {
            std::memcpy(&blocks_[size_ >> Shift][size_ & Mask], bytes, n);
            size_ += n;
            return;
        }
        for (size_t i = 0; i < n; ++i)
            push(static_cast<const quint8*>(bytes)[i]);
    }
    // Copies the n bytes from `at` to `out`, or `in` to them.
    void read(size_t at, void* out, size_t n) const
    {
        if ((at & Mask) + n <= Block) {
            std::memcpy(out, &blocks_[at >> Shift][at & Mask], n);
            return;
        }
        for (size_t i = 0; i < n; ++i)
            static_cast<quint8*>(out)[i] = (*this)[at + i];
    }
    void write(size_t at, const void* in, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            (*this)[at + i] = static_cast<const quint8*>(in)[i];
    }
    void pop(size_t n) { size_ -= n; } // the blocks stay for the next pushes

private:
    static constexpr int Shift = 16;
    static constexpr size_t Block = size_t(1) << Shift;
    static constexpr size_t Mask = Block - 1;
    std::vector<std::unique_ptr<quint8[]>> blocks_;
    size_t size_ = 0;
};

// Where text that continues the document's last paragraph can go: before
// the control word or brace at `offset`, in the group state there.
struct Spot {
    qsizetype offset = -1;
    State state;
    bool bytesPending = false; // \'hh bytes read, not yet decoded
    // What follows ends a paragraph only if one is open (\page, a text box's
    // end, the document's end), so a paragraph the new text ends needs one more.
    bool conditional = false;
};

// What an append needs to know of a document, found by reading it through.
struct Ending {
    bool closed = false; // false: the document's group never ends
    Spot spot;
};

class Reader {
public:
    explicit Reader(QByteArrayView in, bool counting = false)
        : begin_(in.data()), p_(in.data()), end_(in.data() + in.size()), out_(counting)
    {
        // Text is seldom more than half as long as its RTF; a guess that
        // saves copying the text as it grows.
        out_.reserve(in.size() / 2);
    }
    QString run();
    const Ending& ending() const { return ending_; }
    // Groups still open where the bytes ended: a document cut off before its end.
    qsizetype openGroups() const
    {
        qsizetype groups = 0;
        for (const Run& r : stack_)
            groups += r.groups;
        return groups;
    }
    void closeDocument();

private:
    const State& state() const { return state_; }
    // The state to change; what it was is kept for the group's end.
    State& mutableState();
    // The enclosing group's state; nullptr in the document's own group.
    const State* parentState();
    void saveChanges();
    void pushUndo(quint8 tag, const void* value, size_t size);
    bool showing() const { return state().dest == Dest::Text && !state().hidden; }
    void openGroup();
    void closeGroup();
    void readControl();
    void controlWord(std::string_view word, bool hasParam, qint64 param);
    void unicode(bool hasParam, qint64 param);
    void controlSymbol(char c);
    void skipDestination();
    void putChar(char16_t c)
    {
        if (!bytes_.isEmpty())
            flushBytes();
        if (boxBreak_)
            breakBeforeBox(c != u'\n');
        out_.append(c);
    }
    void breakBeforeBox(bool needed)
    {
        boxBreak_ = false;
        if (needed) {
            out_.append(u'\n');
            paragraphEnd_ = out_.size();
        }
    }
    void putByte(uchar b);
    bool takesAsTrail(char c);
    void flushBytes();
    void endParagraph();
    Spot spotHere(bool conditional = false) const
    {
        return {tokenStart_ - begin_, state(), !bytes_.isEmpty(), conditional};
    }
    int textFont() const { return state().textFont() >= 0 ? state().textFont() : defaultFont_; }
    void setFonts(const State& next);
    int codePage();
    QStringDecoder& decoder(int codePage);
    QString decode(int codePage, QByteArrayView bytes);

    const char* begin_;
    const char* p_;
    const char* end_;
    const char* tokenStart_ = nullptr; // the '\\', '{' or '}' being read
    // The state of the group being read, and of the groups around it as a
    // stack of what each group changed, to undo at its '}': per group a
    // marker and the old value of each field it changed, once per field
    // (see RtfReader.cpp). A group costs a few bytes, never a whole state,
    // so the stack stays within a fraction of the document however its
    // groups nest; a run of groups that change nothing costs one counter.
    State state_;
    ByteStack undo_;
    qsizetype depth_ = 0;       // groups open
    quint16 saved_ = 0;         // fields of state_ whose old value is in undo_
    // saved_ of the groups around, by depth, as they were when a group
    // opened inside them; else found from undo_ at that group's end.
    struct SavedAt {
        qsizetype depth = -1;
        quint16 saved = 0;
    };
    std::array<SavedAt, 64> savedAt_;
    State before_;              // state_ when mutableState() handed it out
    bool handedOut_ = false;
    State parent_;              // parentState()'s answer
    Output out_;
    qsizetype paragraphEnd_ = -1; // out_.size() right after the last \par
    qsizetype cellEnd_ = -1;      // out_.size() right after the last \cell
    qsizetype fallback_ = 0;      // characters of a \uN fallback left to skip
    bool star_ = false;           // \* seen: the coming destination is optional
    int docCodePage_ = 1252;
    int defaultFont_ = 0;
    int definingFont_ = -1; // in the font table: the font being described
    struct FontCodePages {
        int charset = 0;      // from \fcharset
        int explicitPage = 0; // from \cpg, which wins
    };
    QHash<int, FontCodePages> fonts_;
    int cachedFont_ = -2;
    int cachedCodePage_ = 0;
    QVarLengthArray<char, 256> bytes_; // consecutive \'hh bytes: GBK characters come in two
    int bytesCodePage_ = 0;
    bool leadPending_ = false; // bytes_ ends with the first byte of a character
    int dbcsPage_ = 0;         // the code page dbcs_ describes
    Dbcs dbcs_ = Dbcs::None;
    bool boxBreak_ = false; // a text box began: a line break before its first character
    Spot paragraphSpot_;    // where the paragraph that ended at paragraphEnd_ ended
    Spot cellSpot_;         // the \cell that ended at cellEnd_
    Ending ending_;
    std::vector<std::pair<int, QStringDecoder>> decoders_;
};

} // namespace Rtf::detail
