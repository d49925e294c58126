// SPDX-License-Identifier: MIT
#include "richtext/RtfHtml.h"

#include <QFile>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string body(const QByteArray& html) {
    const qsizetype start = html.indexOf("<body>");
    const qsizetype end = html.lastIndexOf("</body>");
    if (start < 0 || end < start)
        return "(no body) " + html.toStdString();
    return html.mid(start + 6, end - start - 6).toStdString();
}

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(TINDRALUME_TEST_DATA "/rtf/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

} // namespace

TEST(RtfHtml, WhatTheReaderHoldsBecomesMarkup) {
    const struct {
        const char* what;
        QByteArray rtf;
        std::string html;
    } cases[] = {
        {"character formats", R"r({\rtf1 Plain {\b bold} {\i\ul both} {\strike gone} H{\sub 2}O m{\super 2}\par})r",
         "<p>Plain <b>bold</b> <i><u>both</u></i> <s>gone</s> H<sub>2</sub>O m<sup>2</sup></p>"},
        {"colour and alignment", R"r({\rtf1{\colortbl;\red255\green0\blue0;}\qc {\cf1 red}\par\pard\par next})r",
         "<p style=\"text-align:center\"><span style=\"color:#ff0000\">red</span></p><p><br></p><p>next</p>"},
        {"text is escaped", R"r({\rtf1 <script>alert("x")</script> & \line next})r",
         "<p>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; <br>next</p>"},
        {"web link, reset inside the result",
         R"r({\rtf1 {\field{\*\fldinst HYPERLINK "https://example.org/?a=1&b=2" \\o "tip"}{\fldrslt {\plain\ul site}}} after})r",
         "<p><a href=\"https://example.org/?a=1&amp;b=2\"><u>site</u></a> after</p>"},
        {"script and broken links are text",
         R"r({\rtf1 {\field{\*\fldinst HYPERLINK "javascript:alert(1)"}{\fldrslt one}} )r"
         R"r({\field{\*\fldinst HYPERLINK https://e.org/"><img}{\fldrslt two}} )r"
         R"r({\field{\*\fldinst HYPERLINK \\l "mark"}{\fldrslt three}}})r",
         "<p>one two three</p>"},
        {"lists nest, change kind and keep their start",
         R"r({\rtf1 {\listtext \bullet\tab}\ls1\ilvl0 One\par {\listtext \bullet\tab}\ls1\ilvl1 In\par )r"
         R"r({\listtext 3.\tab}\ls2\ilvl0 Three\par {\listtext a)\tab}\ls2\ilvl2 Deep\par \pard End})r",
         "<ul><li>One<ul><li>In</li></ul></li></ul><ol start=\"3\"><li>Three<ul><li><ol><li>Deep</li></ol></li></ul>"
         "</li></ol><p>End</p>"},
        {"table cells, an empty one and a cell of two paragraphs",
         R"r({\rtf1 \trowd\cellx1\cellx2 \pard\intbl A1\cell B1\cell\row )r"
         R"r(\trowd\cellx1\cellx2 \pard\intbl two\par lines\cell\cell\row\pard after})r",
         "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\"><tr><td>A1</td><td>B1</td></tr>"
         "<tr><td>two<br>lines</td><td></td></tr></table><p>after</p>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(body(RtfHtml::fromRtf(c.rtf)), c.html);
    }
    EXPECT_TRUE(RtfHtml::fromRtf("<p>not rtf</p>").isEmpty());
}

// Lists and a table as AbiWord and LibreOffice write them.
TEST(RtfHtml, ProgramsListsAndTables) {
    const std::string abiword = body(RtfHtml::fromRtf(fixture("abiword-sample.rtf")));
    for (const char* part :
         {"<ul><li>First item</li><li>Second item<ul><li>Nested one</li><li>Nested two</li></ul></li><li>Third "
          "item</li></ul>",
          "<tr><td>A1</td><td>B1</td><td>C1</td></tr><tr><td>A2</td><td></td><td>C2</td></tr></table><p>After the "
          "table.</p>"})
        EXPECT_NE(abiword.find(part), std::string::npos) << part << "\n" << abiword;

    const std::string libreoffice = body(RtfHtml::fromRtf(fixture("libreoffice-lists-copy.rtf")));
    for (const char* part :
         {"<ul><li>Bread<ul><li>Rye</li><li>Spelt<ul><li>Wholegrain</li></ul></li></ul></li><li>Milk</li></ul>",
          "<ol><li>Mix<ol><li>Flour</li><li>Water</li></ol></li><li>Bake</li></ol>"})
        EXPECT_NE(libreoffice.find(part), std::string::npos) << part << "\n" << libreoffice;
}
