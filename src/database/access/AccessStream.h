#pragma once

// What quorrel-mdb-reader writes to its standard output and how it ends.
// Shared by the reader (plain C++ over libmdb) and AccessImport (Qt Core).
//
// Stream: the magic, then the table's own row count (int64, little-endian),
// then for each record the tag 'R' and two values (title, content), each a
// uint32 length and that many bytes of UTF-8; at the end the tag 'E' and the
// number of records written (int64). A stream without its 'E' was cut short.

#include <cstdint>

namespace AccessStream {

inline constexpr char kMagic[8] = {'Q', 'R', 'L', 'M', 'D', 'B', '1', '\n'};
inline constexpr char kRecord = 'R';
inline constexpr char kEnd = 'E';

// The reader's exit codes.
enum Exit : int {
    Ok = 0,
    Usage = 2,
    CannotOpen = 3, // no such file, no permission
    NotAccess = 4,  // the header is not a Jet / ACE database's
    NoTable = 5,    // no table of that name
    NoFields = 6,   // the table lacks one of the two fields (or it is not text)
    Damaged = 7,    // the catalog, the table or a value cannot be read
    WriteFailed = 8 // standard output closed
};

} // namespace AccessStream
