// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>

// Splits RTF into groups, control words, control symbols, \'hh bytes and text runs. Linear in the
// input; words, numbers and runs are bounded so hostile input cannot overflow anything. \binN data
// is passed over here, whatever bytes it holds. The data must outlive the tokenizer.
class RtfTokenizer {
public:
    enum class Kind { GroupStart, GroupEnd, ControlWord, ControlSymbol, HexByte, Text, End };
    struct Token {
        Kind kind = Kind::End;
        QByteArrayView text; // a control word's name (cut to 32 letters) or a text run's bytes
        bool hasParam = false;
        int param = 0; // clamped to the int range
        char byte = 0; // a control symbol's character, or the value of \'hh
    };

    RtfTokenizer(QByteArrayView data, qsizetype position) : m_data(data), m_pos(position) {}

    Token next();
    // Moves past the end of the group open now and all groups in it, without looking at their
    // text: for destinations whose content is dropped. False when the data ends first.
    bool skipGroup();

private:
    Token readControlWord();

    QByteArrayView m_data;
    qsizetype m_pos = 0;
};
