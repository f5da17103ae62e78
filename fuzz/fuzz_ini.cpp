// Ini::value and Ini::withValue on any content, section, key and value.
// Whenever withValue accepts a write, reading the key back must give the
// value as written (blanks around it dropped).
#include "IniFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

QByteArrayView view(const std::string& s)
{
    return QByteArrayView(s.data(), qsizetype(s.size()));
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmed(const std::string& s)
{
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return QByteArray(s.data() + begin, qsizetype(end - begin));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(32);
    const std::string key = input.ConsumeRandomLengthString(32);
    const std::string value = input.ConsumeRandomLengthString(64);
    const std::string content = input.ConsumeRemainingBytesAsString();

    (void)Ini::value(view(content), view(section), view(key));
    const auto written = Ini::withValue(view(content), view(section), view(key), view(value));
    if (!written)
        return 0;
    // Names are looked up as they are stored: without blanks around them.
    if (trimmed(section) != QByteArray::fromStdString(section) ||
        trimmed(key) != QByteArray::fromStdString(key))
        return 0;
    const auto back = Ini::value(*written, view(section), view(key));
    if (!back || *back != trimmed(value))
        std::abort();
    return 0;
}
