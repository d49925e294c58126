// SPDX-License-Identifier: MIT
#pragma once

#include <QStringView>

// The tokenizer states of an HTML parser that only look for where something ends: a comment, the
// raw text of an element such as title or style, and script text with its escaped forms. Each
// takes the page text and the position just after the opening markup and returns the position of
// the end (the text's size when the text ends first).
namespace HTMLTextStates {

inline bool isTagSpace(char16_t c) {
    // CR counts as the LF a parser's input stream turns it into.
    return c == u'\t' || c == u'\n' || c == u'\f' || c == u' ' || c == u'\r';
}

inline bool isASCIIAlpha(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

inline char16_t toASCIILower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

inline bool equalsASCIIFolded(QStringView a, QStringView lowercase) {
    if (a.size() != lowercase.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (toASCIILower(a[i].unicode()) != lowercase[i].unicode())
            return false;
    }
    return true;
}

inline bool startsWithFolded(QStringView text, qsizetype p, QStringView lowercase) {
    return p + lowercase.size() <= text.size() && equalsASCIIFolded(text.sliced(p, lowercase.size()), lowercase);
}

// Just after "<!--": the position after the comment's end.
qsizetype commentEnd(QStringView text, qsizetype p);

// The '<' of "</name" followed by a space, '/' or '>'.
qsizetype rawTextEnd(QStringView text, qsizetype p, QStringView lowercaseName);

// The '<' of the "</script" that ends script text, through its escaped and double-escaped states.
qsizetype scriptEnd(QStringView text, qsizetype p);

} // namespace HTMLTextStates
