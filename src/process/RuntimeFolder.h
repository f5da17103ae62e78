#pragma once

#include <QString>
#include <QStringView>

// The folder that holds this user's single-instance lock and --collect
// channel: one that belongs to the user and that nobody else can write, so no
// other account can receive a collected text, hold the lock or break it.
//
// The runtime folder ($XDG_RUNTIME_DIR) where it is sound: a real folder (not
// a link) of ours that neither group nor others can write. Otherwise a folder
// of mode 0700 made for it under the user's home (~/.cache/quorrel), or, with
// no home of ours (a service account, HOME pointing elsewhere), under the
// program folder (.quorrel). A made folder is checked every time it is asked
// for, not only when made: a link, another owner or a looser mode is refused.
//
// The lock never uses the runtime folder: a start without one (su, ssh, cron)
// must still find the lock of a collector started with one, or two
// collectors would run on one program folder.
namespace RuntimeFolder {

enum class Use { Channel, Lock };

struct Place {
    QString folder;  // without a trailing '/'; empty when there is none
    QString problem; // for the user (Chinese, the detail on a second line) when there is none
};

Place find(const QString& programDir, Use use = Use::Channel);

// `folder` + '/' + this program folder's name ending in `suffix`, or "" (with
// `problem` set, if given) when there is no sound folder.
QString pathFor(const QString& programDir, QStringView suffix, QString* problem = nullptr,
                Use use = Use::Channel);

// Whether `folder` is still a real folder of ours that only we can write
// (looked at with lstat: a link is refused). `detail` says why not.
bool isSound(const QString& folder, QString* detail = nullptr);

} // namespace RuntimeFolder
