// SPDX-License-Identifier: MIT
#include "linkpreview/HTMLTextStates.h"

namespace HTMLTextStates {

namespace {

// "script" and a space, '/' or '>' at p: the length of the name read, else 0.
bool scriptNameAt(QStringView text, qsizetype p) {
    const qsizetype after = p + 6;
    return after < text.size() && startsWithFolded(text, p, u"script") &&
           (isTagSpace(text.at(after).unicode()) || text.at(after) == u'/' || text.at(after) == u'>');
}

qsizetype afterAlphaRun(QStringView text, qsizetype p) {
    while (p < text.size() && isASCIIAlpha(text.at(p).unicode()))
        ++p;
    return p;
}

} // namespace

qsizetype commentEnd(QStringView text, qsizetype p) {
    enum { Start, StartDash, Body, EndDash, End, EndBang } state = Start;
    while (p < text.size()) {
        const char16_t c = text.at(p).unicode();
        switch (state) {
        case Start:
            if (c == u'-') {
                state = StartDash;
                break;
            }
            if (c == u'>')
                return p + 1;
            state = Body;
            continue;
        case StartDash:
            if (c == u'-') {
                state = End;
                break;
            }
            if (c == u'>')
                return p + 1;
            state = Body;
            continue;
        case Body: {
            const qsizetype dash = text.indexOf(u'-', p);
            if (dash < 0)
                return text.size();
            p = dash;
            state = EndDash;
            break;
        }
        case EndDash:
            if (c == u'-') {
                state = End;
                break;
            }
            state = Body;
            continue;
        case End:
            if (c == u'>')
                return p + 1;
            if (c == u'!') {
                state = EndBang;
                break;
            }
            if (c == u'-')
                break;
            state = Body;
            continue;
        case EndBang:
            if (c == u'-') {
                state = EndDash;
                break;
            }
            if (c == u'>')
                return p + 1;
            state = Body;
            continue;
        }
        ++p;
    }
    return text.size();
}

qsizetype rawTextEnd(QStringView text, qsizetype p, QStringView lowercaseName) {
    while (true) {
        const qsizetype lt = text.indexOf(u"</", p);
        if (lt < 0)
            return text.size();
        const qsizetype after = lt + 2 + lowercaseName.size();
        if (after < text.size() && startsWithFolded(text, lt + 2, lowercaseName) &&
            (isTagSpace(text.at(after).unicode()) || text.at(after) == u'/' || text.at(after) == u'>'))
            return lt;
        p = lt + 2;
    }
}

qsizetype scriptEnd(QStringView text, qsizetype p) {
    enum { Data, Escaped, EscapedDash, EscapedDashDash, Double, DoubleDash, DoubleDashDash } state = Data;
    while (p < text.size()) {
        const char16_t c = text.at(p).unicode();
        switch (state) {
        case Data: {
            const qsizetype lt = text.indexOf(u'<', p);
            if (lt < 0)
                return text.size();
            p = lt + 1;
            if (p < text.size() && text.at(p) == u'/') {
                if (scriptNameAt(text, p + 1))
                    return lt;
                ++p;
            } else if (p + 2 < text.size() && text.at(p) == u'!' && text.at(p + 1) == u'-' && text.at(p + 2) == u'-') {
                p += 3;
                state = EscapedDashDash;
            } else if (p < text.size() && text.at(p) == u'!') {
                ++p;
            }
            continue;
        }
        case Escaped:
        case EscapedDash:
        case EscapedDashDash:
            if (c == u'-') {
                state = state == Escaped ? EscapedDash : EscapedDashDash;
                break;
            }
            if (c == u'>' && state == EscapedDashDash) {
                state = Data;
                break;
            }
            if (c == u'<') {
                const qsizetype next = p + 1;
                if (next < text.size() && text.at(next) == u'/') {
                    if (scriptNameAt(text, next + 1))
                        return p;
                    p = next + 1;
                    state = Escaped;
                    continue;
                }
                if (next < text.size() && isASCIIAlpha(text.at(next).unicode())) {
                    const qsizetype end = afterAlphaRun(text, next);
                    if (scriptNameAt(text, next)) {
                        p = end + 1;
                        state = Double;
                    } else {
                        p = end;
                        state = Escaped;
                    }
                    continue;
                }
            }
            state = Escaped;
            break;
        case Double:
        case DoubleDash:
        case DoubleDashDash:
            if (c == u'-') {
                state = state == Double ? DoubleDash : DoubleDashDash;
                break;
            }
            if (c == u'>' && state == DoubleDashDash) {
                state = Data;
                break;
            }
            if (c == u'<') {
                const qsizetype next = p + 1;
                if (next < text.size() && text.at(next) == u'/') {
                    const qsizetype end = afterAlphaRun(text, next + 1);
                    if (scriptNameAt(text, next + 1)) {
                        p = end + 1;
                        state = Escaped;
                    } else {
                        p = end == next + 1 ? next : end;
                        state = Double;
                    }
                    continue;
                }
            }
            state = Double;
            break;
        }
        ++p;
    }
    return text.size();
}

} // namespace HTMLTextStates
