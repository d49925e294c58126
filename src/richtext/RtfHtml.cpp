// SPDX-License-Identifier: MIT
#include "richtext/RtfHtml.h"

#include "richtext/RtfParser.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <vector>

namespace {

const QStringList kLinkSchemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                               QStringLiteral("ftps"), QStringLiteral("mailto")};

void appendEscaped(QString& out, QStringView text) {
    out += text.toString().toHtmlEscaped().replace(QChar::LineSeparator, QLatin1String("<br>"));
}

// A link target that a browser may follow; empty for anything else (javascript:, data:, a file).
QString safeLink(const QString& target) {
    const QUrl url(target.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || !kLinkSchemes.contains(url.scheme().toLower()))
        return {};
    return url.toString(QUrl::FullyEncoded);
}

// "1.", "a)", "(iv)" number the items; a bullet is a symbol.
bool isNumberedMarker(const QString& marker) {
    const QString m = marker.trimmed();
    return !m.isEmpty() && (m.front().isLetterOrNumber() || (m.size() > 1 && m[0] == u'(' && m[1].isLetterOrNumber()));
}

class HtmlWriter {
public:
    explicit HtmlWriter(const RtfParser& parser) : m_parser(parser) {}

    QString write() {
        m_out = QStringLiteral("<html><head><meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">"
                               "</head><body>");
        for (const RtfParagraph& p : m_parser.text().paragraphs()) {
            if (p.format.inTable)
                tableParagraph(p);
            else if (p.format.listLevel >= 0)
                listItem(p);
            else
                paragraph(p);
        }
        closeLists(0);
        closeTable();
        m_out += QLatin1String("</body></html>");
        return m_out;
    }

private:
    void paragraph(const RtfParagraph& p) {
        closeLists(0);
        closeTable();
        m_out += QLatin1String("<p");
        const Qt::Alignment align = p.format.alignment & Qt::AlignHorizontal_Mask;
        if (align == Qt::AlignHCenter)
            m_out += QLatin1String(" style=\"text-align:center\"");
        else if (align == Qt::AlignRight)
            m_out += QLatin1String(" style=\"text-align:right\"");
        else if (align == Qt::AlignJustify)
            m_out += QLatin1String(" style=\"text-align:justify\"");
        m_out += u'>';
        if (p.isEmpty())
            m_out += QLatin1String("<br>"); // an empty line keeps its height
        runs(p, false);
        m_out += QLatin1String("</p>");
    }

    // Each list on the stack has an item open, so a deeper list nests inside it.
    void listItem(const RtfParagraph& p) {
        closeTable();
        QString marker;
        for (const RtfRun& run : p.runs)
            if (run.format.listMarker)
                marker += run.text;
        const bool numbered = isNumberedMarker(marker);
        const size_t depth = size_t(p.format.listLevel) + 1;
        closeLists(depth);
        if (m_lists.size() == depth && m_lists.back() != numbered)
            closeLists(depth - 1);
        else if (m_lists.size() == depth)
            m_out += QLatin1String("</li>");
        while (m_lists.size() + 1 < depth) { // a level skipped by the writer
            m_out += QLatin1String("<ul><li>");
            m_lists.push_back(false);
        }
        if (m_lists.size() < depth) {
            m_out += numbered ? startOfNumbered(marker) : QStringLiteral("<ul>");
            m_lists.push_back(numbered);
        }
        m_out += QLatin1String("<li>");
        runs(p, true);
    }

    static QString startOfNumbered(const QString& marker) {
        bool ok = false;
        const QString digits = marker.trimmed().section(QRegularExpression(QStringLiteral("[^0-9]")), 0, 0);
        const int start = digits.left(9).toInt(&ok);
        return ok && start != 1 ? QStringLiteral("<ol start=\"%1\">").arg(start) : QStringLiteral("<ol>");
    }

    void tableParagraph(const RtfParagraph& p) {
        closeLists(0);
        if (!m_inTable) {
            m_out += QLatin1String("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\"><tr><td>");
            m_inTable = true;
        } else if (p.continuesRow) {
            m_out += QLatin1String("<br>");
        } else {
            m_out += QLatin1String("</td></tr><tr><td>");
        }
        runs(p, false);
    }

    void runs(const RtfParagraph& p, bool dropMarker) {
        for (const RtfRun& run : p.runs) {
            if (run.cellBreak && m_inTable)
                m_out += QLatin1String("</td><td>");
            else if (!(dropMarker && run.format.listMarker))
                this->run(run);
        }
    }

    void run(const RtfRun& run) {
        const RtfCharFormat& f = run.format;
        QStringList closing;
        auto open = [&](const QString& tag, const QString& attributes = QString()) {
            m_out += u'<' + tag + attributes + u'>';
            closing.prepend(QStringLiteral("</") + tag + u'>');
        };
        if (const QString href = safeLink(m_parser.link(f.link)); !href.isEmpty()) {
            QString attribute = QStringLiteral(" href=\"");
            appendEscaped(attribute, href);
            open(QStringLiteral("a"), attribute + u'"');
        }
        if (const auto color = m_parser.color(f.foreground))
            open(QStringLiteral("span"), QStringLiteral(" style=\"color:%1\"").arg(color->name()));
        if (f.bold)
            open(QStringLiteral("b"));
        if (f.italic)
            open(QStringLiteral("i"));
        if (f.underline)
            open(QStringLiteral("u"));
        if (f.strike)
            open(QStringLiteral("s"));
        if (f.position == RtfCharFormat::Position::Superscript)
            open(QStringLiteral("sup"));
        else if (f.position == RtfCharFormat::Position::Subscript)
            open(QStringLiteral("sub"));
        appendEscaped(m_out, run.text);
        m_out += closing.join(QString());
    }

    void closeLists(size_t depth) {
        while (m_lists.size() > depth) {
            m_out += m_lists.back() ? QLatin1String("</li></ol>") : QLatin1String("</li></ul>");
            m_lists.pop_back();
        }
    }

    void closeTable() {
        if (m_inTable)
            m_out += QLatin1String("</td></tr></table>");
        m_inTable = false;
    }

    const RtfParser& m_parser;
    QString m_out;
    std::vector<bool> m_lists; // open lists, outermost first: numbered or not
    bool m_inTable = false;
};

} // namespace

namespace RtfHtml {

QByteArray fromRtf(const QByteArray& rtf) {
    RtfParser parser(rtf, -1);
    if (!parser.parse())
        return {};
    return HtmlWriter(parser).write().toUtf8();
}

} // namespace RtfHtml
