// Display text: corpus, malformed input, names, charset labels, one-line fields, file names.
#include "mime/DisplayText.h"
#include "mime/Charset.h"
#include "mime/HtmlText.h"
#include "mime/Message.h"
#include "mime/MessageFields.h"
#include "mime/MessageText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

const std::string Replacement = "\xEF\xBF\xBD";

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'x') {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
        }
    }
    return out;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');)
        fields.push_back(field);
    if (!line.empty() && line.back() == '\t')
        fields.emplace_back();
    return fields;
}

void Load(TQBMessage& msg, const std::string& text) {
    TMemoryStream stream(text);
    msg.LoadFromStream(stream);
}

std::string AttachmentName(const TQBMessage& msg) {
    for (const TQBMessagePart& part : msg.Parts)
        if (part.Disposition == "attachment")
            return DisplayFileName(part);
    return "(no attachment)";
}

} // namespace

// Every case of the corpus decodes to the text Python's email package gives it.
TEST(DisplayCorpus, EveryCaseGivesPythonsText) {
    std::ifstream file(QB_TEST_DATA "/display/corpus.txt");
    ASSERT_TRUE(file) << "corpus.txt missing; run tests/data/display/make_corpus.py";
    int cases = 0;
    for (std::string line; std::getline(file, line);) {
        const std::vector<std::string> f = Fields(line);
        ASSERT_EQ(f.size(), 4u) << line;
        const std::string raw = Unescape(f[2]), expected = Unescape(f[3]);
        std::string got;
        TQBMessage msg;
        if (f[0] == "header") {
            got = DecodeHeaderText(raw);
        } else if (f[0] == "filename") {
            Load(msg, raw);
            got = AttachmentName(msg);
        } else {
            Load(msg, raw);
            got = DisplayBody(msg);
        }
        EXPECT_EQ(got, expected) << f[0] << " " << f[1];
        ++cases;
    }
    EXPECT_GE(cases, 60);
}

TEST(DecodeHeaderText, MalformedWordsAndUnknownCharsetsStayAsWritten) {
    for (const char* raw : {"=?utf-8?x?abc?=", "=?utf-8?b?w6!k?=", "=?no-such-charset?q?abc?=",
                            "=?utf-8?q?unterminated", "=??q?abc?=", "=?utf-8?q?a b?="})
        EXPECT_EQ(DecodeHeaderText(raw), raw);
    EXPECT_EQ(DecodeHeaderText("a =?bogus?q?x?= =?utf-8?q?=C3=A9?="), "a =?bogus?q?x?= é");
}

TEST(DecodeHeaderText, UnencodedBytesAreUtf8WhenValidElseWindows1252) {
    EXPECT_EQ(DecodeHeaderText("Caf\xC3\xA9"), "Café");
    EXPECT_EQ(DecodeHeaderText("=?utf-8?q?x?= Caf\xE9"), "x Café");
    EXPECT_EQ(DecodeHeaderText("Caf\xE9 \x93x\x94"), "Café “x”");
}

TEST(DisplayName, ParsedNamesAreDecodedAndNotUnescapedTwice) {
    const TQBContact encoded = ParseAddress("=?utf-8?q?J=C3=BCrgen_Gro=C3=9F?= <j@example.org>");
    EXPECT_EQ(ContactText(encoded.Name, encoded.Address), "Jürgen Groß (j@example.org)");
    const TQBContact escaped = ParseAddress("\"\\\"Mimi\\\" \\\\ Co\" <m@example.fr>");
    EXPECT_EQ(ContactText(escaped.Name, escaped.Address), "\"Mimi\" \\ Co (m@example.fr)");
    EXPECT_EQ(ContactText("", "emilie@example.fr"), "emilie@example.fr");
}

TEST(CharsetAliases, LabelsIconvLacksDecode) {
    EXPECT_EQ(ToUtf8("\xC4\xE3\xBA\xC3", "eucgb2312_cn"), "你好");
    EXPECT_EQ(ToUtf8("\x93\xFA\x96\x7B", "x-sjis"), "日本");
    EXPECT_EQ(ToUtf8("\xC7\xD1\xB1\xDB", " KS_C_5601-1987 "), "한글");
    EXPECT_EQ(ToUtf8("\xA4", "iso8859_15"), "€");
    EXPECT_EQ(DecodeHeaderText("=?unicode-1-1-utf-8?q?=C3=A9?="), "é");
}

TEST(CharsetAliases, WiderCharsetsForLabelsIconvReadsNarrowly) {
    EXPECT_EQ(ToUtf8("\x93x\x94", "latin1"), "“x”");
    EXPECT_EQ(ToUtf8("\x93x\x94", "ISO-8859-1"), "“x”");
    // glibc's SHIFT_JIS would show the backslash of a path as a yen sign.
    EXPECT_EQ(ToUtf8("C:\\\x93\xFA", "shift_jis"), "C:\\日");
}

TEST(CharsetAliases, StatefulAliasIsConvertedEvenWhenItLooksLikeAscii) {
    EXPECT_EQ(ToUtf8("\x1B$B$3\x1B(B", "csISO2022JP"), "こ");
}

TEST(CharsetAliases, UnknownLabelKeepsTheFallback) {
    std::string out = "kept";
    EXPECT_FALSE(CharsetToUtf8("x", "x-no-such-charset", out));
    EXPECT_EQ(out, "kept");
    EXPECT_EQ(ToUtf8("Caf\xE9", "x-no-such-charset"), "Café");
}

TEST(SingleLine, ControlsAndDirectionOverridesCannotShapeTheField) {
    EXPECT_EQ(SingleLine("a\r\n b\nc\td\x01\x7F"
                         "e\xC2\x85"),
              "a b c de");
    // Right-to-left override and isolates are dropped.
    EXPECT_EQ(SingleLine("invoice\xE2\x80\xAEgpj.exe\xE2\x81\xA6x\xE2\x81\xA9"), "invoicegpj.exex");
    // Hebrew is kept, isolated from what follows the field.
    EXPECT_EQ(SingleLine("\xD7\xA9\xD7\x9C"), "\xE2\x81\xA8\xD7\xA9\xD7\x9C\xE2\x81\xA9");
    // A field made of such pieces comes through again unchanged.
    const std::string recipient = ContactText("\xD7\xA9\xD7\x9C", "a@example.org");
    EXPECT_EQ(SingleLine(recipient), recipient);
    // A long text is cut at the end of a character.
    const std::string most(MaxLineBytes - 1, 'x');
    EXPECT_EQ(SingleLine(most + "\xD7\xA9" + std::string(1 << 20, 'y')), most);
}

TEST(DisplayBody, HtmlTakesTheMetaCharsetAndResolvesEntities) {
    TQBMessage msg;
    Load(msg, "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=b\r\n\r\n"
              "--b\r\nContent-Type: text/html\r\n\r\n"
              "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
              "charset=windows-1251\"></head><body><p>\xCF\xF0\xE8\xE2\xE5\xF2 "
              "&eacute;&euro;&#8212;&#x1F600;&#150;&amp;lt;b&amp;gt; &bogus; &#0;</p></body>"
              "</html>\r\n--b--\r\n");
    EXPECT_EQ(DisplayBody(msg), "Привет é€—😀–&lt;b&gt; &bogus; " + Replacement + "\r\n");
}

// The Source view shows the lines as received: nothing decoded or joined, a line that is
// no UTF-8 read as Latin-1.
TEST(SourceText, LinesStayAsReceived) {
    const std::string raw = "Subject: =?utf-8?q?Gr=C3=BC=C3=9Fe?=\r\n"
                            " continued\r\n"
                            "X-Old: caf\xe9\r\n"
                            "X-New: caf\xc3\xa9\r\n\r\nbody";
    EXPECT_EQ(SourceText(raw), "Subject: =?utf-8?q?Gr=C3=BC=C3=9Fe?=\n continued\n"
                               "X-Old: caf\xc3\xa9\nX-New: caf\xc3\xa9\n\nbody");
}
