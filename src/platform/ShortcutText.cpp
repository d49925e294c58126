// SPDX-License-Identifier: MIT
#include "platform/ShortcutText.h"

#include "platform/GlobalHotKey.h"
#include "platform/KeyCodes.h"

#include <QCoreApplication>
#include <QKeySequence>

#include <climits>

namespace {

int qtKeyForKeysym(quint32 keysym) {
    if (keysym >= 'a' && keysym <= 'z')
        return Qt::Key_A + int(keysym - 'a');
    if (keysym > 0x20 && keysym < 0x7f)
        return int(keysym); // digits and punctuation: Qt's key is the character
    if (keysym >= 0xffbe && keysym <= 0xffc9)
        return Qt::Key_F1 + int(keysym - 0xffbe);
    switch (keysym) {
    case 0x20:
        return Qt::Key_Space;
    case 0xff0d:
        return Qt::Key_Return;
    case 0xff09:
        return Qt::Key_Tab;
    case 0xff08:
        return Qt::Key_Backspace;
    case 0xff1b:
        return Qt::Key_Escape;
    case 0xff50:
        return Qt::Key_Home;
    case 0xff55:
        return Qt::Key_PageUp;
    case 0xffff:
        return Qt::Key_Delete;
    case 0xff57:
        return Qt::Key_End;
    case 0xff56:
        return Qt::Key_PageDown;
    case 0xff51:
        return Qt::Key_Left;
    case 0xff53:
        return Qt::Key_Right;
    case 0xff54:
        return Qt::Key_Down;
    case 0xff52:
        return Qt::Key_Up;
    default:
        return 0;
    }
}

int qtKeyForKeyCode(qint64 keyCode) {
    const int key =
        keyCode >= 0 && keyCode <= INT_MAX ? qtKeyForKeysym(KeyCodes::keysymForKeyCode(quint32(keyCode))) : 0;
    return key ? key : int(Qt::Key_Question);
}

} // namespace

namespace ShortcutText {

QString keyName(qint64 keyCode) {
    return QKeySequence(qtKeyForKeyCode(keyCode)).toString(QKeySequence::NativeText);
}

QString text(qint64 keyCode, qint64 modifiers) {
    int qtModifiers = 0;
    if (modifiers & GlobalHotKey::controlMask)
        qtModifiers |= Qt::ControlModifier;
    if (modifiers & GlobalHotKey::optionMask)
        qtModifiers |= Qt::AltModifier;
    if (modifiers & GlobalHotKey::shiftMask)
        qtModifiers |= Qt::ShiftModifier;
    // Qt writes the rest (and translates it); it calls Super "Meta", as only KDE does, and puts it first.
    const QString rest = QKeySequence(qtModifiers | qtKeyForKeyCode(keyCode)).toString(QKeySequence::NativeText);
    if (!(modifiers & GlobalHotKey::commandMask))
        return rest;
    return QCoreApplication::translate("ShortcutText", "Super") + QLatin1Char('+') + rest;
}

} // namespace ShortcutText
