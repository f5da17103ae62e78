// quorrel-mdb-reader FILE [TABLE TITLE CONTENT]
//
// Reads the table WebDocuments (fields 标题 and 内容) of a Microsoft Access
// file (Jet 3, Jet 4, ACE) and writes its records to standard output in the
// form AccessStream.h describes. It runs as a child process of Quorrel
// because libmdb crashes or loops for ever on some damaged files.
//
// libmdb finds the table, walks its rows and follows the pages of long
// values; the values' bytes are decoded here, because libmdb's own
// conversion cuts values at its bind size and turns characters outside the
// BMP into "??" (it decodes UCS-2, not UTF-16).

#include "AccessStream.h"

#include <glib.h> // mdbtools.h does not compile as C++ without it first
#include <mdbtools.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

using namespace AccessStream;

int fail(int code, const std::string& message)
{
    std::fprintf(stderr, "quorrel-mdb-reader: %s\n", message.c_str());
    return code;
}

// ---- decoding --------------------------------------------------------------

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// UTF-16LE code units to UTF-8, surrogate pairs joined; a lone surrogate
// becomes U+FFFD.
class Utf16Decoder {
public:
    explicit Utf16Decoder(std::string& out) : m_out(out) {}
    void unit(char16_t u)
    {
        if (m_high) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                appendUtf8(m_out, 0x10000 + ((char32_t(m_high) - 0xD800) << 10) + (u - 0xDC00));
                m_high = 0;
                return;
            }
            appendUtf8(m_out, 0xFFFD);
            m_high = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            m_high = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            appendUtf8(m_out, 0xFFFD);
        else if (u != 0) // U+0000 never enters stored text
            appendUtf8(m_out, u);
    }
    void finish()
    {
        if (m_high)
            appendUtf8(m_out, 0xFFFD);
        m_high = 0;
    }

private:
    std::string& m_out;
    char16_t m_high = 0;
};

// Jet 4 / ACE text: UTF-16LE, or, after the marker FF FE, "compressed": one
// byte per character (its high byte 0) with a 0 byte switching between that
// and two bytes per character.
std::string decodeUnicode(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size() * 3 / 2);
    Utf16Decoder d(out);
    const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
    size_t n = raw.size();
    size_t i = 0;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool compressed = true;
        i = 2;
        while (i < n) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                d.unit(p[i++]);
            } else if (i + 1 < n) {
                d.unit(char16_t(p[i] | (p[i + 1] << 8)));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (; i + 1 < n; i += 2)
            d.unit(char16_t(p[i] | (p[i + 1] << 8)));
    }
    d.finish();
    return out;
}

// Jet 3 text: bytes in a code page, through iconv; a byte it cannot take
// becomes U+FFFD rather than ending the value.
class CodePageDecoder {
public:
    bool open(const std::string& charset)
    {
        m_cd = iconv_open("UTF-8", charset.c_str());
        return m_cd != iconv_t(-1);
    }
    ~CodePageDecoder()
    {
        if (m_cd != iconv_t(-1))
            iconv_close(m_cd);
    }
    std::string decode(std::string_view raw)
    {
        std::string out(raw.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(raw.data());
        size_t inLeft = raw.size();
        char* o = out.data();
        size_t outLeft = out.size();
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            if (iconv(m_cd, &in, &inLeft, &o, &outLeft) != size_t(-1))
                break;
            if (errno == E2BIG)
                break; // cannot happen: four bytes out per byte in
            // EILSEQ / EINVAL: skip one byte, mark it
            ++in;
            --inLeft;
            static const char replacement[] = "\xEF\xBF\xBD";
            std::memcpy(o, replacement, 3);
            o += 3;
            outLeft -= 3;
        }
        out.resize(size_t(o - out.data()));
        std::string clean;
        clean.reserve(out.size());
        for (char c : out)
            if (c != 0)
                clean += c;
        return clean;
    }

private:
    iconv_t m_cd = iconv_t(-1);
};

// Whether Jet 3 bytes that the header calls code page 1252 are in fact GBK
// holding Chinese: every value valid GBK, at least one double-byte character,
// and every double-byte character one of GB2312's (lead A1-F7, trail A1-FE),
// which Western text with accented letters practically never forms.
class GbkEvidence {
public:
    void feed(std::string_view raw)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
        for (size_t i = 0; i < raw.size(); ++i) {
            if (p[i] < 0x80)
                continue;
            if (p[i] == 0x80 || p[i] == 0xFF || i + 1 >= raw.size()) {
                m_invalid = true;
                return;
            }
            const unsigned char lead = p[i], trail = p[i + 1];
            if (trail < 0x40 || trail == 0x7F || trail == 0xFF) {
                m_invalid = true;
                return;
            }
            if (lead >= 0xA1 && lead <= 0xF7 && trail >= 0xA1)
                ++m_gb2312;
            else
                m_invalid = true;
            ++i;
        }
    }
    bool isGbk() const { return !m_invalid && m_gb2312 > 0; }
    bool settled() const { return m_invalid; }

private:
    bool m_invalid = false;
    long m_gb2312 = 0;
};

// ---- reading values -------------------------------------------------------

struct Reader {
    MdbHandle* mdb = nullptr;
    MdbTableDef* table = nullptr;
    MdbColumn* columns[2] = {nullptr, nullptr};
    // Why the last raw() failed.
    std::string why;
    // Every byte of every value lies in one of the file's data pages, once:
    // no value, and no pass over all of them, may take more than these hold.
    // A damaged file whose rows or long-value chains point at the same bytes
    // again and again would otherwise make gigabytes out of kilobytes.
    size_t dataBytes = 0;
    size_t left = 0; // of dataBytes, in this pass over the rows

    // The raw bytes of a column's value in the current row; false when the
    // file is damaged (a long value whose pages cannot be followed).
    bool raw(MdbColumn* col, std::string& out);

private:
    bool take(size_t size);
    bool damaged(const char* reason)
    {
        why = reason;
        return false;
    }
    std::unordered_set<guint32> m_seen; // the rows of the long value being read
};

// A row of a long-value page: its bytes, checked against the page's bounds
// (libmdb's mdb_find_pg_row does not check what mdb_find_row reports).
bool findPageRow(MdbHandle* mdb, guint32 pgRow, const unsigned char** data, size_t* size)
{
    const int pageSize = mdb->fmt->pg_size;
    void* buf = nullptr;
    int start = 0;
    size_t len = 0;
    const unsigned row = pgRow & 0xFF;
    if ((pgRow >> 8) == 0)
        return false;
    if (mdb_find_pg_row(mdb, int(pgRow), &buf, &start, &len) != 0)
        return false;
    const auto* page = static_cast<const unsigned char*>(buf);
    if (page[0] != 0x01) // not a data page
        return false;
    const int rowCountOffset = mdb->fmt->row_count_offset;
    const int rows = page[rowCountOffset] | (page[rowCountOffset + 1] << 8);
    if (int(row) >= rows)
        return false;
    start &= 0x1FFF;
    if (start <= 0 || start >= pageSize || len > size_t(pageSize - start))
        return false;
    *data = page + start;
    *size = len;
    return true;
}

bool Reader::take(size_t size)
{
    if (size > left)
        return damaged("其中的内容比文件的数据页所能容纳的还多");
    left -= size;
    return true;
}

bool Reader::raw(MdbColumn* col, std::string& out)
{
    out.clear();
    const int start = col->cur_value_start;
    const int len = col->cur_value_len;
    const int pageSize = mdb->fmt->pg_size;
    if (len <= 0)
        return true; // NULL or empty: empty text
    if (start < 0 || len > pageSize || start > pageSize - len)
        return damaged("记录超出了它所在的页");
    const unsigned char* value = mdb->pg_buf + start;
    if (col->col_type == MDB_TEXT) {
        if (!take(size_t(len)))
            return false;
        out.assign(reinterpret_cast<const char*>(value), size_t(len));
        return true;
    }
    // A memo: 12 bytes of header (length and flags, where its bytes are),
    // then the bytes themselves when they are in the row.
    if (len < MDB_MEMO_OVERHEAD)
        return damaged("长文本的开头不完整");
    const guint32 head = guint32(value[0]) | guint32(value[1]) << 8 | guint32(value[2]) << 16
                         | guint32(value[3]) << 24;
    const size_t total = head & 0x3FFFFFFF;
    const guint32 pgRow = guint32(value[4]) | guint32(value[5]) << 8 | guint32(value[6]) << 16
                          | guint32(value[7]) << 24;
    if (head & 0x80000000) { // in the row
        if (total != size_t(len - MDB_MEMO_OVERHEAD))
            return damaged("长文本的长度与记录不符");
        if (!take(total))
            return false;
        out.assign(reinterpret_cast<const char*>(value + MDB_MEMO_OVERHEAD), total);
        return true;
    }
    // Checked before anything is allocated or walked.
    if (!take(total))
        return false;
    const unsigned char* data = nullptr;
    size_t size = 0;
    if (head & 0x40000000) { // one row of another page
        if (!findPageRow(mdb, pgRow, &data, &size) || size < total)
            return damaged("长文本所在的页已损坏");
        out.assign(reinterpret_cast<const char*>(data), total);
        return true;
    }
    // A chain of rows, each starting with the next one's page and row. A row
    // is read at most once: a chain that comes back to one is damaged.
    m_seen.clear();
    guint32 next = pgRow;
    while (out.size() < total) {
        if (!m_seen.insert(next).second)
            return damaged("长文本的页链绕回了自身");
        if (next == 0 || !findPageRow(mdb, next, &data, &size) || size <= 4)
            return damaged("长文本的页链已损坏");
        next = guint32(data[0]) | guint32(data[1]) << 8 | guint32(data[2]) << 16
               | guint32(data[3]) << 24;
        const size_t part = std::min(size - 4, total - out.size());
        out.append(reinterpret_cast<const char*>(data + 4), part);
    }
    return true;
}

// ---- finding the table ----------------------------------------------------

bool isTextColumn(const MdbColumn* col)
{
    return col->col_type == MDB_TEXT || col->col_type == MDB_MEMO;
}

// A name as libmdb gives it, or, in a Jet 3 file whose header names a code
// page other than the one its names are in, the same bytes read as GBK.
bool sameName(MdbHandle* mdb, const char* name, const std::string& wanted)
{
    if (g_ascii_strcasecmp(name, wanted.c_str()) == 0)
        return true;
    if (mdb->f->jet_version != MDB_VER_JET3)
        return false;
    const std::string codePage = "CP" + std::to_string(mdb->f->code_page ? mdb->f->code_page : 1252);
    gchar* bytes = g_convert(name, -1, codePage.c_str(), "UTF-8", nullptr, nullptr, nullptr);
    if (!bytes)
        return false;
    gchar* gbk = g_convert(bytes, -1, "UTF-8", "GBK", nullptr, nullptr, nullptr);
    g_free(bytes);
    const bool same = gbk && wanted == gbk;
    g_free(gbk);
    return same;
}

// The header: the Jet / ACE signature and a known version byte at 0x14; and
// how many bytes the file's data pages (type 1) hold.
int checkHeader(const char* path, std::string* what, size_t* dataBytes)
{
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        *what = std::string("无法打开文件：") + std::strerror(errno);
        return CannotOpen;
    }
    unsigned char head[0x20] = {};
    const size_t got = std::fread(head, 1, sizeof head, f);
    static const unsigned char jet[] = "\x00\x01\x00\x00Standard Jet DB";
    static const unsigned char ace[] = "\x00\x01\x00\x00Standard ACE DB";
    if (got < sizeof head
        || (std::memcmp(head, jet, sizeof jet - 1) != 0
            && std::memcmp(head, ace, sizeof ace - 1) != 0)
        || head[0x14] > MDB_VER_ACCDB_2019) {
        std::fclose(f);
        *what = "它不是 Access 数据库（没有 Jet 或 ACE 文件头）";
        return NotAccess;
    }
    const size_t pageSize = head[0x14] == MDB_VER_JET3 ? 2048 : 4096;
    std::vector<unsigned char> page(pageSize);
    size_t pages = 0;
    *dataBytes = 0;
    std::rewind(f);
    while (std::fread(page.data(), 1, pageSize, f) == pageSize) {
        ++pages;
        if (page[0] == 0x01)
            *dataBytes += pageSize;
    }
    std::fclose(f);
    if (pages < 3) {
        *what = "文件只有 " + std::to_string(pages) + " 页";
        return Damaged;
    }
    return Ok;
}

// ---- output ----------------------------------------------------------------

bool put(const void* data, size_t size)
{
    return std::fwrite(data, 1, size, stdout) == size;
}

bool putInt(uint64_t v, int bytes)
{
    unsigned char b[8];
    for (int i = 0; i < bytes; ++i)
        b[i] = (v >> (8 * i)) & 0xFF;
    return put(b, size_t(bytes));
}

bool putValue(const std::string& s)
{
    return putInt(s.size(), 4) && put(s.data(), s.size());
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "用法：quorrel-mdb-reader 文件 [表 标题字段 内容字段]\n");
        return Usage;
    }
    const char* path = argv[1];
    const std::string tableName = argc == 5 ? argv[2] : "WebDocuments";
    const std::string fieldNames[2] = {argc == 5 ? argv[3] : "标题", argc == 5 ? argv[4] : "内容"};

    std::string what;
    size_t dataBytes = 0;
    if (const int code = checkHeader(path, &what, &dataBytes); code != Ok)
        return fail(code, what);

    static char outBuffer[1 << 20];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    Reader r;
    r.dataBytes = dataBytes;
    r.mdb = mdb_open(path, MDB_NOFLAGS); // read only: the file is never changed
    if (!r.mdb)
        return fail(Damaged, "无法打开它（libmdb）");
    if (!mdb_read_catalog(r.mdb, MDB_TABLE))
        return fail(Damaged, "无法读出其中的表的列表");

    MdbCatalogEntry* entry = nullptr;
    for (unsigned i = 0; i < r.mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(r.mdb->catalog, i));
        if (e->object_type == MDB_TABLE && sameName(r.mdb, e->object_name, tableName)) {
            entry = e;
            break;
        }
    }
    if (!entry)
        return fail(NoTable, "其中没有表 " + tableName);
    r.table = mdb_read_table(entry);
    if (!r.table || !mdb_read_columns(r.table))
        return fail(Damaged, "无法读出表 " + tableName);
    for (unsigned i = 0; i < r.table->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(r.table->columns, i));
        for (int f = 0; f < 2; ++f)
            if (!r.columns[f] && sameName(r.mdb, col->name, fieldNames[f]))
                r.columns[f] = col;
    }
    for (int f = 0; f < 2; ++f) {
        if (!r.columns[f])
            return fail(NoFields, "表 " + tableName + " 中没有字段“" + fieldNames[f] + "”");
        if (!isTextColumn(r.columns[f]))
            return fail(NoFields, "字段“" + fieldNames[f] + "”存放的不是文字");
    }

    // Jet 3 text is in the header's code page, unless that says 1252 and the
    // values are GBK (files written on Chinese systems by some tools): a
    // first pass over the rows decides.
    // The count goes out first, so the parent sees the reader alive while the
    // first pass runs.
    if (!put(kMagic, sizeof kMagic) || !putInt(r.table->num_rows, 8) || std::fflush(stdout) != 0)
        return fail(WriteFailed, "无法送出记录");
    const bool jet3 = r.mdb->f->jet_version == MDB_VER_JET3;
    CodePageDecoder codePage;
    std::string value[2];
    if (jet3) {
        int cp = r.mdb->f->code_page ? r.mdb->f->code_page : 1252;
        if (cp == 1252) {
            // A few thousand records settle it; one value that is not GBK ends it.
            GbkEvidence evidence;
            r.left = r.dataBytes;
            mdb_rewind_table(r.table);
            for (int rows = 0; rows < 5000 && !evidence.settled() && mdb_fetch_row(r.table); ++rows) {
                for (int f = 0; f < 2; ++f)
                    if (r.raw(r.columns[f], value[f]))
                        evidence.feed(value[f]);
            }
            if (evidence.isGbk())
                cp = 936;
        }
        const std::string charset = cp == 936 ? "GBK" : "CP" + std::to_string(cp);
        if (!codePage.open(charset) && !codePage.open("CP1252"))
            return fail(Damaged, "没有代码页 " + std::to_string(cp) + " 的转换程序");
    }

    uint64_t written = 0;
    r.left = r.dataBytes;
    mdb_rewind_table(r.table);
    while (mdb_fetch_row(r.table)) {
        for (int f = 0; f < 2; ++f) {
            if (!r.raw(r.columns[f], value[f])) {
                std::fflush(stdout);
                return fail(Damaged, "第 " + std::to_string(written + 1) + " 条记录的“"
                                         + fieldNames[f] + "”无法读出：" + r.why);
            }
            value[f] = jet3 ? codePage.decode(value[f]) : decodeUnicode(value[f]);
        }
        const char tag = kRecord;
        if (!put(&tag, 1) || !putValue(value[0]) || !putValue(value[1]))
            return fail(WriteFailed, "无法送出记录");
        ++written;
    }
    const char end = kEnd;
    if (!put(&end, 1) || !putInt(written, 8) || std::fflush(stdout) != 0)
        return fail(WriteFailed, "无法送出记录");
    // Closing frees what libmdb allocated; the process ends anyway.
    return Ok;
}
