// SPDX-License-Identifier: MIT
#include "linkpreview/HTMLPageReader.h"

#include "linkpreview/CharacterReferences.h"
#include "linkpreview/HTMLTextStates.h"

#include <QHash>

#include <algorithm>
#include <array>

namespace {

using namespace HTMLTextStates;

// The text of a raw slice as a parser's input stream gives it: CR LF and CR become LF, NUL U+FFFD.
QString normalizedSlice(QStringView slice) {
    if (!slice.contains(u'\r') && !slice.contains(QChar(0)))
        return slice.toString();
    QString out;
    out.reserve(slice.size());
    for (qsizetype i = 0; i < slice.size(); ++i) {
        const QChar c = slice[i];
        if (c == u'\r') {
            out.append(u'\n');
            if (i + 1 < slice.size() && slice[i + 1] == u'\n')
                ++i;
        } else if (c.unicode() == 0) {
            out.append(QChar(0xFFFD));
        } else {
            out.append(c);
        }
    }
    return out;
}

enum class Kind {
    Other,
    Meta,
    Title,
    Textarea,
    Script,
    RawText, // style, xmp, iframe, noembed, noframes, noscript (scripting on, as in a browser)
    PlainText,
    Template,
    Foreign, // svg, math
    Font,
    BreakOut, // HTML elements that end SVG/MathML content
};

Kind kindOf(QStringView name) {
    struct Entry {
        const char16_t* name;
        Kind kind;
    };
    static const Entry table[] = {
        {u"meta", Kind::Meta},        {u"title", Kind::Title},         {u"textarea", Kind::Textarea},
        {u"script", Kind::Script},    {u"style", Kind::RawText},       {u"xmp", Kind::RawText},
        {u"iframe", Kind::RawText},   {u"noembed", Kind::RawText},     {u"noframes", Kind::RawText},
        {u"noscript", Kind::RawText}, {u"plaintext", Kind::PlainText}, {u"template", Kind::Template},
        {u"svg", Kind::Foreign},      {u"math", Kind::Foreign},        {u"font", Kind::Font},
        {u"b", Kind::BreakOut},       {u"big", Kind::BreakOut},        {u"blockquote", Kind::BreakOut},
        {u"body", Kind::BreakOut},    {u"br", Kind::BreakOut},         {u"center", Kind::BreakOut},
        {u"code", Kind::BreakOut},    {u"dd", Kind::BreakOut},         {u"div", Kind::BreakOut},
        {u"dl", Kind::BreakOut},      {u"dt", Kind::BreakOut},         {u"em", Kind::BreakOut},
        {u"embed", Kind::BreakOut},   {u"h1", Kind::BreakOut},         {u"h2", Kind::BreakOut},
        {u"h3", Kind::BreakOut},      {u"h4", Kind::BreakOut},         {u"h5", Kind::BreakOut},
        {u"h6", Kind::BreakOut},      {u"head", Kind::BreakOut},       {u"hr", Kind::BreakOut},
        {u"i", Kind::BreakOut},       {u"img", Kind::BreakOut},        {u"li", Kind::BreakOut},
        {u"listing", Kind::BreakOut}, {u"menu", Kind::BreakOut},       {u"nobr", Kind::BreakOut},
        {u"ol", Kind::BreakOut},      {u"p", Kind::BreakOut},          {u"pre", Kind::BreakOut},
        {u"ruby", Kind::BreakOut},    {u"s", Kind::BreakOut},          {u"small", Kind::BreakOut},
        {u"span", Kind::BreakOut},    {u"strong", Kind::BreakOut},     {u"strike", Kind::BreakOut},
        {u"sub", Kind::BreakOut},     {u"sup", Kind::BreakOut},        {u"table", Kind::BreakOut},
        {u"tt", Kind::BreakOut},      {u"u", Kind::BreakOut},          {u"ul", Kind::BreakOut},
        {u"var", Kind::BreakOut},
    };
    // Sorted once: a page of a million bytes can hold a few hundred thousand tags.
    static const std::vector<Entry> sorted = [] {
        std::vector<Entry> entries(std::begin(table), std::end(table));
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return QStringView(a.name) < QStringView(b.name); });
        return entries;
    }();
    const auto found = std::lower_bound(sorted.begin(), sorted.end(), name, [](const Entry& entry, QStringView key) {
        return QStringView(entry.name) < key;
    });
    return found != sorted.end() && QStringView(found->name) == name ? found->kind : Kind::Other;
}

// The attributes any tag of interest reads; others are parsed and dropped.
enum Attr { Property, Name, HttpEquiv, Content, Charset, Type, Color, Face, Size, AttrCount };

int attrIndex(QStringView lowercaseName) {
    static const char16_t* const names[AttrCount] = {u"property", u"name",  u"http-equiv", u"content", u"charset",
                                                     u"type",     u"color", u"face",       u"size"};
    for (int i = 0; i < AttrCount; ++i) {
        if (lowercaseName == QStringView(names[i]))
            return i;
    }
    return -1;
}

class Reader {
public:
    Reader(QStringView text, int maximumJSONLD, const QSet<QString>& keys)
        : m_text(text), m_size(text.size()), m_maxJSONLD(maximumJSONLD), m_keys(keys) {}

    HTMLPageReader::Page run() {
        qsizetype p = 0;
        while (p < m_size) {
            const qsizetype lt = m_text.indexOf(u'<', p);
            if (lt < 0)
                break;
            p = afterMarkup(lt + 1);
        }
        return std::move(m_page);
    }

private:
    struct Slice {
        qsizetype start = -1;
        qsizetype end = -1;
        bool present() const { return start >= 0; }
    };

    struct Tag {
        bool isEnd = false;
        bool selfClosing = false;
        Kind kind = Kind::Other;
        std::array<Slice, AttrCount> attrs;
        char16_t name[16];
        int nameLength = 0;
        bool nameTooLong = false;
    };

    QChar at(qsizetype p) const { return m_text[p]; }

    // p is just after a '<' met in the data state; returns where the data state resumes.
    qsizetype afterMarkup(qsizetype p) {
        if (p >= m_size)
            return m_size;
        const char16_t c = at(p).unicode();
        if (c == u'!')
            return afterMarkupDeclaration(p + 1);
        if (c == u'/') {
            if (p + 1 >= m_size)
                return m_size;
            const char16_t d = at(p + 1).unicode();
            if (isASCIIAlpha(d))
                return afterTag(p + 1, true);
            if (d == u'>')
                return p + 2;
            return afterBogusComment(p + 1);
        }
        if (isASCIIAlpha(c))
            return afterTag(p, false);
        if (c == u'?')
            return afterBogusComment(p);
        return p; // a lone '<' is text
    }

    qsizetype afterBogusComment(qsizetype p) const {
        const qsizetype gt = m_text.indexOf(u'>', p);
        return gt < 0 ? m_size : gt + 1;
    }

    qsizetype afterMarkupDeclaration(qsizetype p) {
        if (p + 1 < m_size && at(p) == u'-' && at(p + 1) == u'-')
            return HTMLTextStates::commentEnd(m_text, p + 2);
        if (HTMLTextStates::startsWithFolded(m_text, p, u"doctype"))
            return afterBogusComment(p + 7); // every DOCTYPE state ends at the first '>'
        if (inForeignContent() && !m_foreignStack.back().holdsHTML && p + 7 <= m_size &&
            m_text.sliced(p, 7) == u"[CDATA[") {
            const qsizetype end = m_text.indexOf(u"]]>", p + 7);
            return end < 0 ? m_size : end + 3;
        }
        return afterBogusComment(p);
    }

    void finishName(Tag& tag) const {
        tag.kind = tag.nameTooLong ? Kind::Other : kindOf(QStringView(tag.name, tag.nameLength));
    }

    bool wantsAttributes(const Tag& tag) const {
        return !tag.isEnd && (tag.kind == Kind::Meta || tag.kind == Kind::Script || tag.kind == Kind::Font);
    }

    // The tag states, from the first letter of the name. Returns the position after the tag's '>',
    // or -1 when the text ends inside the tag (which then is no tag at all).
    qsizetype readTag(qsizetype p, Tag& tag) const {
        enum {
            TagName,
            BeforeAttrName,
            AttrName,
            AfterAttrName,
            BeforeValue,
            ValueDouble,
            ValueSingle,
            ValueUnquoted,
            AfterValueQuoted,
            SelfClosing
        } state = TagName;
        bool wants = false;
        qsizetype nameStart = 0;
        int current = -1; // the attribute being read, when it is one of interest and not a duplicate
        auto endName = [&](qsizetype end) {
            current = -1;
            if (!wants || end - nameStart > 10)
                return;
            char16_t lower[10];
            for (qsizetype i = nameStart; i < end; ++i)
                lower[i - nameStart] = toASCIILower(at(i).unicode());
            const int index = attrIndex(QStringView(lower, end - nameStart));
            if (index >= 0 && !tag.attrs[index].present()) {
                tag.attrs[index] = {end, end}; // present, empty until a value is read
                current = index;
            }
        };
        auto startValue = [&](qsizetype start) {
            if (current >= 0)
                tag.attrs[current] = {start, start};
        };
        auto endValue = [&](qsizetype end) {
            if (current >= 0)
                tag.attrs[current].end = end;
            current = -1;
        };
        while (p < m_size) {
            const char16_t c = at(p).unicode();
            switch (state) {
            case TagName:
                if (isTagSpace(c)) {
                    finishName(tag);
                    wants = wantsAttributes(tag);
                    state = BeforeAttrName;
                } else if (c == u'/') {
                    finishName(tag);
                    wants = wantsAttributes(tag);
                    state = SelfClosing;
                } else if (c == u'>') {
                    finishName(tag);
                    return p + 1;
                } else if (tag.nameLength < 16) {
                    tag.name[tag.nameLength++] = c == 0 ? char16_t(0xFFFD) : toASCIILower(c);
                } else {
                    tag.nameTooLong = true;
                }
                break;
            case BeforeAttrName:
                if (isTagSpace(c))
                    break;
                if (c == u'/' || c == u'>') {
                    state = AfterAttrName;
                    continue;
                }
                nameStart = p;
                state = AttrName;
                break; // the first character, '=' included, belongs to the name
            case AttrName:
                if (isTagSpace(c) || c == u'/' || c == u'>') {
                    endName(p);
                    state = AfterAttrName;
                    continue;
                }
                if (c == u'=') {
                    endName(p);
                    state = BeforeValue;
                }
                break;
            case AfterAttrName:
                if (isTagSpace(c))
                    break;
                if (c == u'/') {
                    state = SelfClosing;
                    break;
                }
                if (c == u'=') {
                    state = BeforeValue;
                    break;
                }
                if (c == u'>')
                    return p + 1;
                nameStart = p;
                state = AttrName;
                break;
            case BeforeValue:
                if (isTagSpace(c))
                    break;
                if (c == u'"') {
                    startValue(p + 1);
                    state = ValueDouble;
                    break;
                }
                if (c == u'\'') {
                    startValue(p + 1);
                    state = ValueSingle;
                    break;
                }
                if (c == u'>') {
                    current = -1;
                    return p + 1;
                }
                startValue(p);
                state = ValueUnquoted;
                continue;
            case ValueDouble:
            case ValueSingle: {
                const qsizetype close = m_text.indexOf(state == ValueDouble ? u'"' : u'\'', p);
                if (close < 0)
                    return -1;
                endValue(close);
                p = close;
                state = AfterValueQuoted;
                break;
            }
            case ValueUnquoted:
                if (isTagSpace(c)) {
                    endValue(p);
                    state = BeforeAttrName;
                } else if (c == u'>') {
                    endValue(p);
                    return p + 1;
                }
                break;
            case AfterValueQuoted:
                if (isTagSpace(c)) {
                    state = BeforeAttrName;
                    break;
                }
                if (c == u'/') {
                    state = SelfClosing;
                    break;
                }
                if (c == u'>')
                    return p + 1;
                state = BeforeAttrName;
                continue;
            case SelfClosing:
                if (c == u'>') {
                    tag.selfClosing = true;
                    return p + 1;
                }
                state = BeforeAttrName;
                continue;
            }
            ++p;
        }
        return -1;
    }

    std::optional<QString> value(const Tag& tag, Attr attr) const {
        const Slice& slice = tag.attrs[attr];
        if (!slice.present())
            return std::nullopt;
        return CharacterReferences::decodeAttribute(
            normalizedSlice(m_text.sliced(slice.start, slice.end - slice.start)));
    }

    // Reads the end tag that closes raw text at lt ("</name..."): the data state resumes after it.
    qsizetype afterClosingTag(qsizetype lt) {
        if (lt >= m_size)
            return m_size;
        Tag tag;
        tag.isEnd = true;
        const qsizetype end = readTag(lt + 2, tag);
        return end < 0 ? m_size : end;
    }

    qsizetype afterTag(qsizetype p, bool isEnd) {
        Tag tag;
        tag.isEnd = isEnd;
        const qsizetype end = readTag(p, tag);
        if (end < 0)
            return m_size;
        const QStringView tagName = tag.nameTooLong ? QStringView() : QStringView(tag.name, tag.nameLength);
        if (isEnd) {
            if (inForeignContent()) {
                const QStringView name = tagName;
                if (!atIntegrationPoint() && (name == u"p" || name == u"br")) {
                    leaveForeignContent();
                } else if (!name.isEmpty()) {
                    // Closes the innermost open SVG/MathML element of that name. Else an open
                    // template around the SVG is closed with all it holds; any other end tag is
                    // taken to close nothing (the reader keeps no stack of HTML elements).
                    // A view of the name, not a copy: a hostile page can hold many such end tags.
                    if (m_foreignNames.value(QString::fromRawData(name.data(), name.size())) > 0) {
                        // Found, so each entry passed is popped: linear over the page in all.
                        while (m_foreignStack.back().name != name)
                            popForeign();
                        popForeign();
                    } else if (tag.kind == Kind::Template && m_templateDepth > 0) {
                        leaveForeignContent();
                        --m_templateDepth;
                    }
                }
            } else if (tag.kind == Kind::Template && m_templateDepth > 0) {
                --m_templateDepth;
            }
            return end;
        }
        if (inForeignContent() && !atIntegrationPoint()) {
            const bool fontBreaksOut =
                tag.kind == Kind::Font &&
                (tag.attrs[Color].present() || tag.attrs[Face].present() || tag.attrs[Size].present());
            if (tag.kind != Kind::BreakOut && tag.kind != Kind::Meta && !fontBreaksOut) {
                if (!tag.selfClosing)
                    enterForeign(tagName, false);
                return end;
            }
            leaveForeignContent();
        }
        const bool inDocument = m_templateDepth == 0;
        if (atIntegrationPoint() && opensHTMLElement(tag))
            m_foreignStack.back().holdsHTML = true;
        switch (tag.kind) {
        case Kind::Meta:
            if (inDocument)
                keepMeta(tag);
            return end;
        case Kind::Title: {
            const qsizetype close = HTMLTextStates::rawTextEnd(m_text, end, u"title");
            if (inDocument && !m_page.title)
                m_page.title = CharacterReferences::decodeText(normalizedSlice(m_text.sliced(end, close - end)));
            return afterClosingTag(close);
        }
        case Kind::Textarea:
            return afterClosingTag(HTMLTextStates::rawTextEnd(m_text, end, u"textarea"));
        case Kind::RawText:
            return afterClosingTag(HTMLTextStates::rawTextEnd(m_text, end, QStringView(tag.name, tag.nameLength)));
        case Kind::PlainText:
            return m_size;
        case Kind::Script: {
            const qsizetype close = HTMLTextStates::scriptEnd(m_text, end);
            if (inDocument && m_page.jsonLD.size() < m_maxJSONLD && isJSONLD(tag))
                m_page.jsonLD.append(normalizedSlice(m_text.sliced(end, close - end)));
            return afterClosingTag(close);
        }
        case Kind::Template:
            ++m_templateDepth;
            return end;
        case Kind::Foreign:
            if (!tag.selfClosing)
                enterForeign(tagName, true);
            return end;
        default:
            return end;
        }
    }

    // An element that stays open after its start tag: not void, not one whose raw text ends it.
    static bool opensHTMLElement(const Tag& tag) {
        static const char16_t* const voids[] = {u"area",  u"base", u"br",   u"col",    u"embed", u"hr",  u"img",
                                                u"input", u"link", u"meta", u"source", u"track", u"wbr", u"param"};
        if (tag.kind != Kind::Other && tag.kind != Kind::BreakOut && tag.kind != Kind::Font &&
            tag.kind != Kind::Template)
            return false;
        const QStringView name(tag.name, tag.nameLength);
        return std::none_of(std::begin(voids), std::end(voids),
                            [name](const char16_t* v) { return name == QStringView(v); });
    }

    bool inForeignContent() const { return !m_foreignStack.empty(); }
    // SVG and MathML elements whose contents are HTML again (an SVG desc, a MathML mi ...).
    bool atIntegrationPoint() const { return inForeignContent() && m_foreignStack.back().integrationPoint; }
    void leaveForeignContent() {
        m_foreignStack.clear();
        m_foreignNames.clear();
    }
    void popForeign() {
        --m_foreignNames[m_foreignStack.back().name];
        m_foreignStack.pop_back();
    }
    // An svg or math start tag read as HTML opens its own namespace; any other element inherits
    // the namespace of the element it is in.
    void enterForeign(QStringView name, bool fromHTML) {
        static const char16_t* const svgPoints[] = {u"foreignobject", u"desc", u"title"};
        static const char16_t* const mathPoints[] = {u"mi", u"mo", u"mn", u"ms", u"mtext"};
        const bool svg = fromHTML ? name == u"svg" : m_foreignStack.back().svg;
        auto isOneOf = [name](const auto& list) {
            return std::any_of(std::begin(list), std::end(list),
                               [name](const char16_t* p) { return name == QStringView(p); });
        };
        const bool point = !fromHTML && (svg ? isOneOf(svgPoints) : isOneOf(mathPoints));
        // Bounded: a hostile page nesting SVG elements without end costs no more than this.
        if (m_foreignStack.size() < 256) {
            m_foreignStack.push_back({name.toString(), svg, point, false});
            ++m_foreignNames[m_foreignStack.back().name];
        }
    }

    // Keeps a meta tag some lookup can still find: the first with a given key and a content
    // attribute, or one of the first charset declarations.
    void keepMeta(const Tag& tag) {
        auto key = [this, &tag](Attr attr) {
            auto v = value(tag, attr);
            return v ? std::optional<QString>(asciiLower(*v)) : std::nullopt;
        };
        auto fresh = [this](const std::optional<QString>& k, QSet<QString>& seen) {
            return k && (m_keys.isEmpty() || m_keys.contains(*k)) && !seen.contains(*k);
        };
        bool keep = false;
        if (tag.attrs[Charset].present() && m_charsets < kMaximumCharsets) {
            ++m_charsets;
            keep = true;
        }
        if (tag.attrs[Content].present()) {
            const auto property = key(Property), name = key(Name), httpEquiv = key(HttpEquiv);
            if (fresh(property, m_propertiesSeen) || fresh(name, m_namesSeen) || fresh(httpEquiv, m_namesSeen)) {
                keep = true;
                for (const auto& [k, seen] : {std::pair{property, &m_propertiesSeen}, std::pair{name, &m_namesSeen},
                                              std::pair{httpEquiv, &m_namesSeen}}) {
                    if (k)
                        seen->insert(*k);
                }
            }
        }
        if (keep)
            m_page.metas.push_back({value(tag, Property), value(tag, Name), value(tag, HttpEquiv), value(tag, Content),
                                    value(tag, Charset)});
    }

    static QString asciiLower(const QString& text) {
        QString lower = text;
        for (QChar& c : lower)
            c = QChar(toASCIILower(c.unicode()));
        return lower;
    }

    bool isJSONLD(const Tag& tag) const {
        const auto type = value(tag, Type);
        return type && equalsASCIIFolded(QStringView(*type).trimmed(), u"application/ld+json");
    }

    QStringView m_text;
    qsizetype m_size;
    int m_maxJSONLD;
    int m_templateDepth = 0;
    struct ForeignElement {
        QString name;
        bool svg; // else MathML
        bool integrationPoint;
        bool holdsHTML = false; // an HTML element was opened inside this integration point
    };
    std::vector<ForeignElement> m_foreignStack; // open SVG/MathML elements
    QHash<QString, int> m_foreignNames;         // how many of each name m_foreignStack holds
    static constexpr int kMaximumCharsets = 16;
    QSet<QString> m_keys;
    QSet<QString> m_propertiesSeen;
    QSet<QString> m_namesSeen; // name and http-equiv: one lookup matches either
    int m_charsets = 0;
    HTMLPageReader::Page m_page;
};

bool isASCIISpace(QChar c) {
    return isTagSpace(c.unicode());
}

} // namespace

HTMLPageReader::Page HTMLPageReader::read(QStringView text, int maximumJSONLDBlocks, const QSet<QString>& keys) {
    return Reader(text, maximumJSONLDBlocks, keys).run();
}

std::optional<QString> HTMLPageReader::metaContent(const Page& page, KeyAttribute attribute, QStringView key) {
    const QString lowerKey = key.toString().toLower();
    auto matches = [&lowerKey](const std::optional<QString>& value) {
        return value && equalsASCIIFolded(*value, lowerKey);
    };
    for (const Meta& meta : page.metas) {
        if (!meta.content)
            continue;
        const bool found = attribute == KeyAttribute::Property ? matches(meta.property)
                                                               : (matches(meta.name) || matches(meta.httpEquiv));
        if (found)
            return meta.content;
    }
    return std::nullopt;
}

std::optional<QString> HTMLPageReader::charsetParameter(QStringView text) {
    qsizetype from = 0;
    while (true) {
        qsizetype at = -1;
        for (qsizetype i = from; i + 7 <= text.size(); ++i) {
            if (equalsASCIIFolded(text.sliced(i, 7), u"charset")) {
                at = i;
                break;
            }
        }
        if (at < 0)
            return std::nullopt;
        qsizetype p = at + 7;
        while (p < text.size() && isASCIISpace(text[p]))
            ++p;
        if (p >= text.size() || text[p] != u'=') {
            from = at + 7;
            continue;
        }
        ++p;
        while (p < text.size() && isASCIISpace(text[p]))
            ++p;
        if (p >= text.size())
            return std::nullopt;
        if (text[p] == u'"' || text[p] == u'\'') {
            const qsizetype close = text.indexOf(text[p], p + 1);
            if (close < 0)
                return std::nullopt;
            const QStringView name = text.sliced(p + 1, close - p - 1).trimmed();
            return name.isEmpty() ? std::nullopt : std::optional<QString>(name.toString());
        }
        qsizetype end = p;
        while (end < text.size() && !isASCIISpace(text[end]) && text[end] != u';')
            ++end;
        if (end == p)
            return std::nullopt;
        return text.sliced(p, end - p).toString();
    }
}

QStringList HTMLPageReader::declaredCharsets(const Page& page) {
    QStringList names;
    for (const Meta& meta : page.metas) {
        if (meta.charset) {
            const QString name = meta.charset->trimmed();
            if (!name.isEmpty())
                names.append(name);
        } else if (meta.httpEquiv && meta.content && equalsASCIIFolded(*meta.httpEquiv, u"content-type")) {
            if (auto name = charsetParameter(*meta.content))
                names.append(*name);
        }
    }
    return names;
}
