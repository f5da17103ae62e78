#pragma once

#include <QIcon>

// The toolbar's icons, button 1 to 11: the desktop's icon theme where it has
// the icon, else one drawn here, so no button is ever blank.
namespace EditorIcons {

QIcon icon(int button);
// The drawn one alone (what a desktop without an icon theme shows).
QIcon drawn(int button);

} // namespace EditorIcons
