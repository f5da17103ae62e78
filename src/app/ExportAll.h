#pragma once

// Runs `quorrel --export-all FILE` without starting the windows; -1 when
// the command line asks for something else.
int runExportAll(int argc, char* argv[]);
