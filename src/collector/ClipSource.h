#pragma once

#include "CollectChannel.h"

#include <QString>

#include <deque>

class QDateTime;
class QMimeData;

// Where a collected text came from: the page's title (the title of the
// window it was taken from, the browser's name taken off), the address the
// drag or clipboard offered, and when it was taken (local time, as
// Field::CollectedAtFormat writes it). The same for a drop as for a text
// handed over by `quorrel --collect`. Empty when neither title nor address
// could be told: then nothing is kept, not even the time.
using ClipSource = CollectSource;

namespace ClipSources {

// `windowTitle` without a browser's own suffix (" — Mozilla Firefox",
// " - Google Chrome", ...); "" when it is only the browser's name. Other
// programs' titles stay whole.
QString pageTitle(const QString& windowTitle);

// The address the data offers, best first: the page's (a browser's copy),
// a dragged link's, the page's origin (all Chromium tells of a selection).
// "" when none; never a local file, nor an address that names no page.
QString addressOf(const QMimeData& data);

// The source of a text taken from the window titled `windowTitle` ("" when
// the window could not be told, or is one of this program's) with `data`
// (null for none) at `when`. Local files (a file manager's drag) have none.
ClipSource of(const QString& windowTitle, const QMimeData* data, const QDateTime& when);

// The collector face's tool tip: `base`, then the latest sources, newest first.
QString toolTip(const QString& base, const std::deque<ClipSource>& recent);

} // namespace ClipSources
