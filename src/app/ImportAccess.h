#pragma once

// Runs `quorrel --import-access FILE` without starting the windows; -1 when
// the command line asks for something else.
int runImportAccess(int argc, char* argv[]);
