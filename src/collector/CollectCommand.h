#pragma once

#include <QString>

#include <functional>
#include <optional>

// `quorrel --collect` (the PRIMARY selection), `--collect-clipboard` and
// `--collect -` (standard input): hands the text to the running collector of
// this program folder, starting one where none runs, and ends.
namespace CollectCommand {

// The title of the page in the window in front when the command runs (the
// browser's own suffix taken off), "" where there is none; asked only with a
// display, for --collect and --collect-clipboard without --source-title.
using ActiveTitle = std::function<QString()>;

// The exit code of a collect request; nullopt when the arguments ask for
// none (a plain start). 0: the collector has the text; 1: there was no
// text; 2: wrong arguments; 3: no collector took it (or the collector's
// folder or listener was not this user's, and nothing was sent).
std::optional<int> runIfAsked(int& argc, char** argv, const ActiveTitle& activeTitle = {});

} // namespace CollectCommand
