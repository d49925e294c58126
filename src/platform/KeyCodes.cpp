// SPDX-License-Identifier: MIT
#include "platform/KeyCodes.h"

namespace {

struct KeyEntry {
    quint32 keyCode;
    quint32 keysym;
};

// Carbon virtual key codes (US layout positions) to X keysyms.
constexpr KeyEntry keyTable[] = {
    // letters
    {0, 'a'},
    {1, 's'},
    {2, 'd'},
    {3, 'f'},
    {4, 'h'},
    {5, 'g'},
    {6, 'z'},
    {7, 'x'},
    {8, 'c'},
    {9, 'v'},
    {11, 'b'},
    {12, 'q'},
    {13, 'w'},
    {14, 'e'},
    {15, 'r'},
    {16, 'y'},
    {17, 't'},
    {31, 'o'},
    {32, 'u'},
    {34, 'i'},
    {35, 'p'},
    {37, 'l'},
    {38, 'j'},
    {40, 'k'},
    {45, 'n'},
    {46, 'm'},
    // digits
    {18, '1'},
    {19, '2'},
    {20, '3'},
    {21, '4'},
    {22, '6'},
    {23, '5'},
    {25, '9'},
    {26, '7'},
    {28, '8'},
    {29, '0'},
    // punctuation of the main block
    {24, '='},
    {27, '-'},
    {30, ']'},
    {33, '['},
    {39, '\''},
    {41, ';'},
    {42, '\\'},
    {43, ','},
    {44, '/'},
    {47, '.'},
    {50, '`'},
    // special keys: Return, Tab, Space, Delete (BackSpace), Escape
    {36, 0xff0d},
    {48, 0xff09},
    {49, 0x20},
    {51, 0xff08},
    {53, 0xff1b},
    // function keys F1..F12
    {122, 0xffbe},
    {120, 0xffbf},
    {99, 0xffc0},
    {118, 0xffc1},
    {96, 0xffc2},
    {97, 0xffc3},
    {98, 0xffc4},
    {100, 0xffc5},
    {101, 0xffc6},
    {109, 0xffc7},
    {103, 0xffc8},
    {111, 0xffc9},
    // navigation: Home, PageUp, forward Delete, End, PageDown
    {115, 0xff50},
    {116, 0xff55},
    {117, 0xffff},
    {119, 0xff57},
    {121, 0xff56},
    // arrows: Left, Right, Down, Up
    {123, 0xff51},
    {124, 0xff53},
    {125, 0xff54},
    {126, 0xff52},
};

} // namespace

namespace KeyCodes {

quint32 keysymForKeyCode(quint32 keyCode) {
    for (const KeyEntry& entry : keyTable) {
        if (entry.keyCode == keyCode)
            return entry.keysym;
    }
    return 0;
}

std::optional<quint32> keyCodeForKeysym(quint32 keysym) {
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 32;
    for (const KeyEntry& entry : keyTable) {
        if (entry.keysym == keysym)
            return entry.keyCode;
    }
    return std::nullopt;
}

} // namespace KeyCodes
