// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <optional>

// The one table between the stored Carbon virtual key codes (US layout positions) and X keysyms,
// used to grab a hot key and to record one.
namespace KeyCodes {

// The keysym of a key code; 0 for a key the table does not know.
quint32 keysymForKeyCode(quint32 keyCode);
// The key code of a keysym (letters in either case); none for a key the table does not know.
std::optional<quint32> keyCodeForKeysym(quint32 keysym);

} // namespace KeyCodes
