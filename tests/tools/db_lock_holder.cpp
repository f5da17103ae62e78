// Holds an exclusive lock on the SQLite file given as argument, as another
// program in the middle of a long write would: prints "held" (or "busy" when
// the lock cannot be had) and waits to be killed.
#include <sqlite3.h>

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc < 2)
        return 2;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return 2;
    const bool held = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    std::printf("%s\n", held ? "held" : "busy");
    std::fflush(stdout);
    if (!held)
        return 1;
    for (;;)
        ::pause();
}
