#pragma once

#include <optional>

// `quorrel --collect` (the PRIMARY selection), `--collect-clipboard` and
// `--collect -` (standard input): hands the text to the running collector of
// this program folder, starting one where none runs, and ends.
namespace CollectCommand {

// The exit code of a collect request; nullopt when the arguments ask for
// none (a plain start). 0: the collector has the text; 1: there was no
// text; 2: wrong arguments; 3: no collector took it.
std::optional<int> runIfAsked(int& argc, char** argv);

} // namespace CollectCommand
