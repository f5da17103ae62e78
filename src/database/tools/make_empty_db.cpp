// Builds the empty document database that is installed beside the program:
// the table WebDocuments with its two TEXT fields and nothing else.
// Usage: make_empty_db <output file>

#include "Schema.h"

#include <sqlite3.h>

#include <cstdio>
#include <string>

static int failWith(sqlite3* db, const char* what, const std::string& file)
{
    std::fprintf(stderr, "make_empty_db: %s %s: %s\n", what, file.c_str(),
                 db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    std::remove(file.c_str());
    return 1;
}

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_empty_db <output file>\n");
        return 2;
    }
    // Built under another name and renamed at the end, so an interrupted
    // build never leaves a half-made database under the real name.
    const std::string output = argv[1];
    const std::string temporary = output + ".tmp";
    std::remove(temporary.c_str());
    std::remove((temporary + "-journal").c_str());

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(temporary.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        return failWith(db, "cannot create", temporary);
    if (sqlite3_exec(db, CreateWebDocumentsSql, nullptr, nullptr, nullptr) != SQLITE_OK)
        return failWith(db, "cannot make the table in", temporary);
    if (sqlite3_close(db) != SQLITE_OK)
        return failWith(db, "cannot close", temporary);
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::perror(("make_empty_db: cannot rename to " + output).c_str());
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
