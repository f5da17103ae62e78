#include "Rtf.h"

#include <cstring>
#include <string_view>

namespace Rtf {

namespace {

// What a document of text and paragraphs alone is made of: the header and
// font table write() puts there, the group append() adds, and what WordPad
// puts around plain text. Everything else shows, or is, something the text
// does not hold.
bool onlyStructure(std::string_view word, bool hasParam, long param)
{
    static constexpr std::string_view Words[] = {
        "rtf",  "ansi",  "ansicpg", "deff",   "deflang", "deflangfe", "fonttbl", "f",
        "fnil", "fcharset", "fprq", "uc",     "u",       "pard",      "plain",   "fs",
        "par",  "line",  "tab",     "lang",   "langfe",  "generator", "viewkind", "nouicompat",
    };
    if (word == "v") // hidden text is more than the box shows; \v0 ends it
        return hasParam && param == 0;
    if (word == "f") // one font: a second one is formatting
        return !hasParam || param == 0;
    for (const std::string_view allowed : Words) {
        if (word == allowed)
            return true;
    }
    return false;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

bool holdsMoreThanText(QByteArrayView doc)
{
    // Only control words matter: a second font, any formatting, a table or a
    // picture each needs one the list above lacks (\bin data included).
    const char* p = doc.data();
    const char* const end = p + doc.size();
    while (p < end) {
        p = static_cast<const char*>(std::memchr(p, '\\', size_t(end - p)));
        if (!p || ++p == end)
            break;
        if (!isLetter(*p)) {
            ++p; // a control symbol: \\, \{, \'hh (its digits are plain bytes)
            continue;
        }
        const char* start = p;
        while (p < end && isLetter(*p))
            ++p;
        const std::string_view word(start, size_t(p - start));
        if (word == "u" || word == "par") // nearly every word of a text: no list walked
            continue;
        const bool negative = p < end && *p == '-';
        if (negative)
            ++p;
        bool hasParam = false;
        long param = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            hasParam = true;
            if (param < 1'000'000)
                param = param * 10 + (*p - '0');
            ++p;
        }
        if (!onlyStructure(word, hasParam, negative ? -param : param))
            return true;
    }
    return false;
}

} // namespace Rtf
