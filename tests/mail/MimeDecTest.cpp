// TMimeDecode: header values, folding, boundaries, part events, inline blocks and hostile input.
#include "mime/MimeDec.h"
#include "MimeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

TEST(MimeDecodeHeader, ValuesAsWrittenAndBlankBeforeColonIgnored) {
    TMimeDecode d;
    DecodeText(d, "Subject: Hello\r\nFrom : someone@x.org\r\nTo: =?UTF-8?Q?J=C3=B6rg?= <j@x>\r\n"
                  "Return-Path: <bounce@x.org>\r\nMIME-Version: 1.0\r\n\r\n");
    EXPECT_EQ(d.Subject, "Hello");
    EXPECT_EQ(d.From, "");
    EXPECT_EQ(d.To, "=?UTF-8?Q?J=C3=B6rg?= <j@x>");
    EXPECT_EQ(d.ReturnPath, "bounce@x.org");
    EXPECT_EQ(d.MimeVersion, "1.0");
    // Uninterpreted lines are kept all the same.
    EXPECT_EQ(d.HeaderLines,
              (Strings{"Subject: Hello", "From : someone@x.org", "To: =?UTF-8?Q?J=C3=B6rg?= <j@x>",
                       "Return-Path: <bounce@x.org>", "MIME-Version: 1.0"}));
}

// Unfolding takes out the line break only: the blanks that begin the next line stay.
TEST(MimeDecodeHeader, FoldedLineLosesOnlyItsLineBreak) {
    TMimeDecode crlf;
    DecodeText(crlf, "Subject: Hello\r\n\tWorld\r\nTo: a@b\r\n\r\n");
    EXPECT_EQ(crlf.Subject, "Hello World");
    EXPECT_EQ(crlf.To, "a@b");
    TMimeDecode lf;
    DecodeText(lf, "Subject: Hello\n World\n  again\n\n");
    EXPECT_EQ(lf.Subject, "Hello World  again");
}

TEST(MimeDecodeHeader, ContentTypeParametersAndTheirCase) {
    TMimeDecode unquoted;
    DecodeText(unquoted, "Content-Type: Text/Plain; name=Report.TXT; charset=ISO-8859-1\r\n\r\n");
    EXPECT_EQ(unquoted.ContentType, "text/plain");
    EXPECT_EQ(unquoted.HeaderName, "report.txt");
    EXPECT_EQ(unquoted.Charset, "iso-8859-1");
    TMimeDecode quoted;
    DecodeText(quoted, "Content-Type: text/plain; name=\"Report.TXT\"\r\n"
                       "Content-Disposition: Attachment; filename=\"A.pdf\"\r\n"
                       "Content-Transfer-Encoding: Base64\r\n\r\n");
    EXPECT_EQ(quoted.HeaderName, "Report.TXT");
    EXPECT_EQ(quoted.Disposition, "attachment");
    EXPECT_EQ(quoted.FileName, "A.pdf");
    EXPECT_EQ(quoted.Encoding, "base64");
    // A blank before "=" ends the parameter list.
    TMimeDecode blank;
    DecodeText(blank, "Content-Type: text/plain; name =x; charset=y\r\n\r\n");
    EXPECT_EQ(blank.HeaderName, "");
    EXPECT_EQ(blank.Charset, "");
}

TEST(MimeDecodeHeader, PriorityValues) {
    EXPECT_EQ(PriorityOfValue("1 (Highest)"), 1);
    EXPECT_EQ(PriorityOfValue("High"), 3);
    EXPECT_EQ(PriorityOfValue("Non-Urgent"), 1);
    EXPECT_EQ(PriorityOfValue("non-priority"), 5);
    EXPECT_EQ(PriorityOfValue("  5"), 5);
    EXPECT_EQ(PriorityOfValue(""), 3);
    EXPECT_EQ(PriorityOfValue("99999999999"), 3);
    TMimeDecode none, xprio, prio;
    DecodeText(none, "Subject: x\r\n\r\n");
    DecodeText(xprio, "X-Priority: 2 (High)\r\n\r\n");
    DecodeText(prio, "Priority: urgent\r\n\r\n");
    EXPECT_EQ(none.Priority, 0);
    EXPECT_EQ(xprio.Priority, 2);
    EXPECT_EQ(prio.Priority, 1);
}

TEST(MimeDecodeEvents, MultipartEventsInOrder) {
    TMimeDecode d;
    const TEventLog log = DecodeText(d, "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                                        "pre\r\n--b\r\nContent-Type: text/plain\r\n\r\nhi\r\n"
                                        "--b\r\n\r\nbare\r\n--b--\r\n");
    EXPECT_EQ(log.Events, (Strings{"HeaderBegin", "HeaderLine", "HeaderEnd", "PartBegin 0",
                                   "PartEnd", "PartHeaderBegin", "PartHeaderLine", "PartHeaderEnd",
                                   "PartBegin 1", "PartEnd", "PartHeaderBegin", "PartHeaderEnd",
                                   "PartBegin 2", "PartEnd", "MessageEnd"}));
    EXPECT_EQ(log.PartData, (Strings{"pre", "hi\r\n", "bare\r\n"}));
    EXPECT_TRUE(d.EndOfMime);
    EXPECT_TRUE(d.IsMultipart);
}

TEST(MimeDecodeEvents, SinglePartBodyUsesMainEncoding) {
    TMimeDecode d;
    const TEventLog log =
        DecodeText(d, "Content-Transfer-Encoding: base64\r\n\r\nSGVs\r\nbG8=\r\n");
    EXPECT_EQ(log.Events, (Strings{"HeaderBegin", "HeaderLine", "HeaderEnd", "PartBegin 0",
                                   "PartEnd", "MessageEnd"}));
    EXPECT_EQ(log.PartData, (Strings{"Hello"}));
}

TEST(MimeDecodeBoundary, QuotedMixedCaseBoundaryMatchesAnyCaseNotTrailingBlanks) {
    TMimeDecode d;
    const TEventLog log = DecodeText(d, "Content-Type: multipart/mixed; boundary=\"AbC\"\r\n\r\n"
                                        "--ABC\r\n\r\none\r\n--abc \r\ntwo\r\n--aBc--\r\n");
    EXPECT_EQ(d.Boundary, "--abc");
    ASSERT_EQ(log.PartData.size(), 2u);
    EXPECT_EQ(log.PartData[1], "one\r\n--abc \r\ntwo\r\n");
    EXPECT_TRUE(d.EndOfMime);
}

TEST(MimeDecodeBoundary, ClosingBoundaryWithTwoEmptyLinesAddsOnePart) {
    TMimeDecode d;
    const TEventLog log = DecodeText(d, "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                                        "--b\r\n\r\nx\r\n--b--\r\n\r\n\r\n");
    EXPECT_EQ(d.PartNumber, 2);
    EXPECT_EQ(log.PartData, (Strings{"", "x\r\n", "\r\n"}));
    // One empty line only: the extra part has no data and never begins.
    TMimeDecode one;
    const TEventLog oneLog = DecodeText(one, "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                                             "--b\r\n\r\nx\r\n--b--\r\n\r\n");
    EXPECT_EQ(oneLog.PartData.size(), 2u);
}

TEST(MimeDecodeBoundary, NestedMultipartsAreNumberedInOrder) {
    TMimeDecode d;
    const TEventLog log = DecodeText(
        d, "Content-Type: multipart/mixed; boundary=outer\r\n\r\n"
           "--outer\r\nContent-Type: multipart/alternative; boundary=Inner\r\n\r\n"
           "--inner\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
           "--INNER\r\nContent-Type: text/html\r\n\r\n<b>html</b>\r\n--inner--\r\n"
           "--outer\r\nContent-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n"
           "\r\nJVBE\r\n--outer--\r\n");
    EXPECT_EQ(d.PartNumber, 4);
    EXPECT_EQ(log.PartData, (Strings{"", "", "plain\r\n", "<b>html</b>\r\n", "%PD"}));
}

TEST(MimeDecodePartHeader, FileNameCorners) {
    auto fileNameOf = [](const std::string& headers) {
        TMimeDecode d;
        std::string name;
        d.OnPartBegin = [&name](TMimeDecode& s) { name = s.PartFileName; };
        TChunkedStream stream("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + headers +
                                  "\r\n\r\ndata\r\n--b--\r\n",
                              4096);
        d.DecodeStream(stream);
        return name;
    };
    EXPECT_EQ(fileNameOf("Content-Disposition: attachment; filename=\"a b.pdf\""), "a b.pdf");
    EXPECT_EQ(fileNameOf("Content-Disposition: attachment; filename=a.pdf; size=10"),
              "a.pdf; size=10");
    EXPECT_EQ(fileNameOf("Content-Disposition: attachment; size=10; filename=a.pdf"), "");
    EXPECT_EQ(fileNameOf("Content-Description: filename=\"Notes.TXT\""), "Notes.TXT");
    EXPECT_EQ(fileNameOf("Content-Disposition: attachment; filename=a.pdf\r\n"
                         "Content-Description: filename=b.pdf"),
              "a.pdf");
}

TEST(MimeDecodePartHeader, PartValuesClearedAtEveryBoundary) {
    TMimeDecode d;
    std::vector<Strings> seen;
    d.OnPartBegin = [&seen](TMimeDecode& s) {
        seen.push_back({s.PartContentType, s.PartEncoding, s.PartName, s.PartDisposition,
                        s.PartContentID, s.PartCharset});
    };
    TChunkedStream stream("Content-Type: multipart/related; boundary=b\r\n\r\n--b\r\n"
                          "Content-Type: image/png; name=\"Logo.png\"; charset=x\r\n"
                          "Content-Transfer-Encoding: BASE64\r\n"
                          "Content-Disposition: Inline\r\nContent-ID: <logo@x>\r\n\r\nAAAA\r\n"
                          "--b\r\n\r\ntext\r\n--b--\r\n",
                          4096);
    d.DecodeStream(stream);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1], (Strings{"image/png", "base64", "Logo.png", "inline", "logo@x", "x"}));
    EXPECT_EQ(seen[2], (Strings{"", "", "", "", "", ""}));
}

TEST(MimeDecodePartHeader, LineBeginningWithBlankStartsTheBody) {
    TMimeDecode d;
    const TEventLog log = DecodeText(d, "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                                        "--b\r\n indented\r\nmore\r\n--b--\r\n");
    ASSERT_EQ(log.PartData.size(), 2u);
    EXPECT_EQ(log.PartData[1], " indented\r\nmore\r\n");
}

TEST(MimeDecodeBody, QuotedPrintableLinesThroughTheDecoder) {
    TMimeDecode d;
    const TEventLog log =
        DecodeText(d, "Content-Transfer-Encoding: quoted-printable\r\n\r\ncaf=E9=\r\na=3Db\r\n");
    EXPECT_EQ(log.PartData, (Strings{"caf\xE9"
                                     "a=b\r\n"}));
}

TEST(MimeDecodeBody, InlineUuencodeBlockLeftOutOfPlainText) {
    TMimeDecode d;
    const TEventLog log = DecodeText(d, "Subject: x\r\n\r\nbefore\r\nbegin 666 cat.txt\r\n"
                                        "#0V%T\r\n`\r\nend\r\nafter\r\n");
    EXPECT_EQ(log.PartData, (Strings{"before\r\nafter\r\n"}));
    EXPECT_EQ(log.Events[3], "PartBegin 0");
    EXPECT_EQ(
        (Strings(log.Events.begin() + 4, log.Events.begin() + 8)),
        (Strings{"InlineBegin cat.txt", "InlineLine Cat", "InlineLine ", "InlineEnd cat.txt"}));
}

TEST(MimeDecodeBody, InlineDetectorIgnoresTypedPartsAndBase64) {
    TMimeDecode typed;
    const TEventLog typedLog =
        DecodeText(typed, "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                          "Content-Type: text/plain\r\n\r\nbegin 666 x\r\nend\r\n--b--\r\n");
    EXPECT_EQ(typedLog.PartData[1], "begin 666 x\r\nend\r\n");
    // "begin 666" in decoded binary data is not a uuencoded block.
    TMimeDecode binary;
    const TEventLog binaryLog =
        DecodeText(binary, "Content-Transfer-Encoding: base64\r\n\r\nYmVnaW4gNjY2IHgK\r\nQUJD\r\n");
    EXPECT_EQ(binaryLog.PartData, (Strings{"begin 666 x\nABC"}));
}

TEST(MimeDecodeBody, XUuencodePart) {
    TMimeDecode d;
    const TEventLog log = DecodeText(
        d, "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
           "Content-Type: application/octet-stream\r\n"
           "Content-Transfer-Encoding: x-uuencode\r\n\r\n"
           "ignored before begin\r\nbegin 644 cat.txt\r\n#0V%T\r\n`\r\nend\r\n--b--\r\n");
    EXPECT_EQ(log.PartData[1], "Cat");
}

TEST(MimeDecodeInput, MissingPiecesNeverFail) {
    TMimeDecode noEnd;
    const TEventLog allHeader = DecodeText(noEnd, "Subject: a\r\nFrom: b");
    EXPECT_EQ(noEnd.From, "b");
    EXPECT_TRUE(allHeader.PartData.empty());
    EXPECT_EQ(allHeader.Events.back(), "MessageEnd");

    TMimeDecode noBoundaryLine;
    const TEventLog pre = DecodeText(
        noBoundaryLine, "Content-Type: multipart/mixed; boundary=b\r\n\r\nline1\r\nline2");
    EXPECT_EQ(pre.PartData, (Strings{"line1line2"}));

    TMimeDecode empty;
    const TEventLog nothing = DecodeText(empty, "");
    EXPECT_EQ(nothing.Events, (Strings{"PartEnd", "MessageEnd"}));
}

TEST(MimeDecodeInput, OneByteAtATimeGivesTheSameResult) {
    const std::string text = "Subject: folded\r\n\tacross reads\r\nContent-Type: multipart/mixed;"
                             "\r\n boundary=\"zz\"\r\n\r\n--zz\r\nContent-Transfer-Encoding: "
                             "quoted-printable\r\n\r\nsoft=\r\nbreak=41\r\n--zz--\r\n";
    TMimeDecode whole, bytewise;
    const TEventLog a = DecodeText(whole, text);
    const TEventLog b = DecodeText(bytewise, text, 1);
    EXPECT_EQ(bytewise.Subject, "folded across reads");
    EXPECT_EQ(bytewise.Boundary, "--zz");
    EXPECT_EQ(a.Events, b.Events);
    EXPECT_EQ(a.PartData, b.PartData);
    EXPECT_EQ(b.PartData[1], "softbreakA\r\n");
    EXPECT_EQ(bytewise.Position(), static_cast<int64_t>(text.size()));
}

TEST(MimeDecodeInput, HugeLineIsDecodedWhole) {
    const std::string line(50u << 20, 'x');
    TMimeDecode d;
    size_t bytes = 0;
    d.OnPartLine = [&bytes](TMimeDecode&, const char*, size_t len) { bytes += len; };
    TMemoryStream stream("Subject: long\r\n\r\n" + line + "\r\nshort\r\n");
    d.DecodeStream(stream);
    EXPECT_EQ(bytes, line.size() + 2 + 7);
}

TEST(MimeDecodeInput, ThousandsOfNestedBoundaries) {
    std::string text = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
    const int depth = 5000;
    for (int i = 0; i < depth; ++i)
        text += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=b" +
                std::to_string(i + 1) + "\r\n\r\n";
    text += "--b" + std::to_string(depth) + "\r\n\r\ninnermost\r\n";
    for (int i = depth; i >= 0; --i)
        text += "--b" + std::to_string(i) + "--\r\n";
    TMimeDecode d;
    const TEventLog log = DecodeText(d, text);
    EXPECT_EQ(log.PartData.back(), "innermost\r\n");
    EXPECT_EQ(static_cast<int>(log.PartData.size()), depth + 2);
}

TEST(MimeDecodeInput, BinaryGarbageWithNulBytes) {
    std::mt19937 random(42);
    for (int round = 0; round < 20; ++round) {
        std::string text(20000, '\0');
        for (char& c : text)
            c = static_cast<char>(random() % 8 == 0 ? '\n' : random());
        if (round % 2)
            text = "Content-Type: multipart/mixed; boundary=\"\"\r\n\r\n--\r\n" + text;
        TMimeDecode d;
        DecodeText(d, text, 1 + random() % 300);
        EXPECT_EQ(d.Position(), static_cast<int64_t>(text.size()));
    }
}

namespace {

std::string Base64Encoded(const std::string& data, size_t lineBytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < data.size(); i += 3) {
        const auto b0 = static_cast<unsigned char>(data[i]);
        const auto b1 = i + 1 < data.size() ? static_cast<unsigned char>(data[i + 1]) : 0;
        const auto b2 = i + 2 < data.size() ? static_cast<unsigned char>(data[i + 2]) : 0;
        out += alphabet[b0 >> 2];
        out += alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += i + 1 < data.size() ? alphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
        out += i + 2 < data.size() ? alphabet[b2 & 63] : '=';
        if ((i + 3) % lineBytes == 0 || i + 3 >= data.size())
            out += "\r\n";
    }
    return out;
}

} // namespace

TEST(MimeDecodeInput, EncodedBodiesGiveTheSameDataAtEveryReadSize) {
    std::mt19937 random(7);
    std::string binary(5000, '\0');
    for (char& c : binary)
        c = static_cast<char>(random());
    std::string text, quoted;
    for (int i = 0; i < 300; ++i) {
        const std::string word = "caf\xE9=" + std::to_string(i) + (i % 7 ? " " : "\t");
        text += word;
        quoted += "caf=E9=3D" + std::to_string(i) + (i % 7 ? " " : "\t");
        if (i % 5 == 4) {
            // Alternately a hard and a soft line break.
            text += i % 10 == 4 ? "\r\n" : "";
            quoted += i % 10 == 4 ? "\r\n" : "=\r\n";
        }
    }
    quoted += "\r\n";
    text += "\r\n";
    const std::string message =
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        Base64Encoded(binary, 57) +
        // A blank ends a line's text, "-" is no base64, a short group gives what it holds.
        "QUJD QUJD\r\n--not-a-boundary\r\nQUI\n\r\n--b\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
        quoted +
        // A decoded "b" may begin an inline block; an LF-only line still ends in CR LF.
        "=62egin 666 x\r\n#0V%T\r\nend\r\nb=65gin 666 y\r\nend\r\nlf only\n--b--\r\n";
    const Strings expected = {"", binary + "ABC" + "\x9e\x8b\x5a\x6e\x8b\xa7\x75\xaa\xf2" + "AB",
                              text + "lf only\r\n"};
    // Parts are long: report where they first differ, not their bytes.
    auto firstDifference = [](const Strings& got, const Strings& want) -> std::string {
        if (got.size() != want.size())
            return "part count " + std::to_string(got.size());
        for (size_t i = 0; i < got.size(); ++i)
            if (got[i] != want[i]) {
                size_t at = 0;
                while (at < got[i].size() && at < want[i].size() && got[i][at] == want[i][at])
                    ++at;
                return "part " + std::to_string(i) + " at byte " + std::to_string(at);
            }
        return "";
    };
    TMimeDecode whole;
    const TEventLog wholeLog = DecodeText(whole, message, message.size());
    EXPECT_EQ(firstDifference(wholeLog.PartData, expected), "");
    EXPECT_EQ(std::count(wholeLog.Events.begin(), wholeLog.Events.end(), "InlineBegin x"), 1);
    EXPECT_EQ(std::count(wholeLog.Events.begin(), wholeLog.Events.end(), "InlineBegin y"), 1);
    for (size_t chunk : {1, 2, 3, 5, 7, 13, 64, 77, 1000, 4096}) {
        TMimeDecode d;
        const TEventLog log = DecodeText(d, message, chunk);
        EXPECT_EQ(firstDifference(log.PartData, expected), "") << "read size " << chunk;
        EXPECT_EQ(log.Events, wholeLog.Events) << "read size " << chunk;
    }
}
