// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// A stored shortcut (Carbon key code and modifier mask) written the way Linux desktops write it:
// "Super+Shift+V", "Ctrl+Alt+Space". Modifiers come in Qt's order (Super, Ctrl, Alt, Shift) and
// key names are Qt's own, so they read as in other Qt programs and translate with Qt's tables.
namespace ShortcutText {

// The key's name; "?" for a code the key table does not know.
QString keyName(qint64 keyCode);
// The modifiers of the mask joined to the key name by "+"; other bits of the mask are ignored.
QString text(qint64 keyCode, qint64 modifiers);

} // namespace ShortcutText
