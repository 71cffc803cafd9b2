// TQBMessage: contacts, recipients, Received data, part records and loading.
#include "mime/Message.h"
#include "MimeTestSupport.h"
#include "mime/DateTimeValue.h"
#include "mime/MessageFields.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

void Load(TQBMessage& msg, const std::string& text) {
    TMemoryStream stream(text);
    msg.LoadFromStream(stream);
}

} // namespace

TEST(AddressParse, NameIsThePhraseBeforeTheAngleBracket) {
    TQBContact quoted = ParseAddress("\"Ann Lee\" <ann@x.org>");
    EXPECT_EQ(quoted.Name, "Ann Lee");
    EXPECT_EQ(quoted.Address, "ann@x.org");
    TQBContact raw = ParseAddress("J\xC3\xBCrgen  Gro\xC3\x9F <j@example.org> (work)");
    EXPECT_EQ(raw.Name, "J\xC3\xBCrgen Gro\xC3\x9F");
    EXPECT_EQ(raw.Address, "j@example.org");
    // Encoded words stay as written; the display decoder turns them into text.
    EXPECT_EQ(ParseAddress("=?utf-8?q?J=C3=BCrgen_Gro=C3=9F?= <j@example.org>").Name,
              "=?utf-8?q?J=C3=BCrgen_Gro=C3=9F?=");
    EXPECT_EQ(ParseAddress("\"Durand, \\\"Mimi\\\"\" (a (nested) note)\tJr. <m@x.fr>").Name,
              "Durand, \"Mimi\" Jr.");
    TQBContact unclosed = ParseAddress("Ann <ann@x.org");
    EXPECT_EQ(unclosed.Name, "Ann");
    EXPECT_EQ(unclosed.Address, "");
}

TEST(AddressParse, UnclosedQuoteOrParenthesisIsAnOrdinaryCharacter) {
    TQBContact smiley = ParseAddress("Ann :-( <ann@x.org>");
    EXPECT_EQ(smiley.Name, "Ann :-(");
    EXPECT_EQ(smiley.Address, "ann@x.org");
    TQBContact quote = ParseAddress("\"Ann <ann@x.org>");
    EXPECT_EQ(quote.Name, "Ann");
    EXPECT_EQ(quote.Address, "ann@x.org");
}

TEST(AddressParse, BareAddressStaysAsWrittenAndACommentNamesIt) {
    TQBContact bare = ParseAddress("ann@x.org");
    EXPECT_EQ(bare.Name, "");
    EXPECT_EQ(bare.Address, "ann@x.org");
    TQBContact commented = ParseAddress("j@example.org (J\xC3\xBCrgen)");
    EXPECT_EQ(commented.Name, "J\xC3\xBCrgen");
    EXPECT_EQ(commented.Address, "j@example.org");
    EXPECT_EQ(ParseAddress("\"Ann\"").Name, "Ann");
}

TEST(AddressParse, RecipientListSplitsAtCommasOutsideQuotesAndComments) {
    const auto two = ParseAddressList("a@x.org, b@x.org");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].Address, " b@x.org");
    const auto quoted = ParseAddressList("\"Lee, Ann\" <ann@x.org>, b@x.org (B, C)");
    ASSERT_EQ(quoted.size(), 2u);
    EXPECT_EQ(quoted[0].Name, "Lee, Ann");
    EXPECT_EQ(quoted[0].Address, "ann@x.org");
    EXPECT_EQ(quoted[1].Name, "B, C");
    EXPECT_EQ(quoted[1].Address, " b@x.org");
    EXPECT_EQ(ParseAddressList("\"Lee, a@x.org, b@x.org").size(), 3u);
    EXPECT_TRUE(ParseAddressList("").empty());
}

TEST(ReceivedScan, OneHeaderFillsEntryZero) {
    TQBMessage msg;
    Load(msg, "Received: from a ([192.0.2.1]) by mx for <me@x.org>; Tue\r\n\r\n");
    EXPECT_EQ(msg.GetReceived(0).IP, "192.0.2.1");
    EXPECT_EQ(msg.GetReceived(0).For, "me@x.org");
    EXPECT_EQ(msg.GetReceived(1).IP, "(unknown)");
    EXPECT_EQ(msg.GetReceived(1).For, "(unknown)");
}

TEST(ReceivedScan, OnlyTheFirstTwoCountAndGapsKeepEarlierValues) {
    TQBMessage msg;
    Load(msg, "Received: from top ([10.0.0.1]) by a for <first@x>;\r\n"
              "Received: from second by b ([10.0.0.2]);\r\n"
              "Received: from third ([10.0.0.3]) by c for <third@x>;\r\n"
              "RECEIVED: from case ([10.0.0.9]) by d;\r\n\r\n");
    EXPECT_EQ(msg.GetReceived(1).IP, "10.0.0.1");
    EXPECT_EQ(msg.GetReceived(1).For, "first@x");
    // The second header's "[" comes after "by": no address of its own.
    EXPECT_EQ(msg.GetReceived(0).IP, "10.0.0.1");
    EXPECT_EQ(msg.GetReceived(0).For, "first@x");
    EXPECT_THROW(msg.GetReceived(2), std::out_of_range);
}

TEST(ReceivedScan, BlankAfterColonRequired) {
    TQBMessage msg;
    Load(msg, "Received:from a ([10.0.0.1]) by b\r\n\r\n");
    EXPECT_EQ(msg.GetReceived(0).IP, "(unknown)");
}

TEST(MessageParts, AlternativeGivesPreamblePlainAndHtmlRecords) {
    TQBMessage msg;
    Load(msg, "From: \"Ann\" <ann@x.org>\r\nTo: b@x.org, \"C\" <c@x.org>\r\n"
              "Date: Tue, 5 Mar 2002 14:03:07 +0100\r\n"
              "Content-Type: multipart/alternative; boundary=b\r\n\r\n"
              "--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nplain\r\n"
              "--b\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--b--\r\n");
    ASSERT_EQ(msg.PartCount(), 3);
    EXPECT_EQ(msg.GetPart(0).ContentType, "");
    EXPECT_EQ(msg.GetPart(1).ContentType, "text/plain");
    EXPECT_EQ(msg.GetPart(1).Charset, "utf-8");
    EXPECT_EQ(msg.GetPart(1).Data, "plain\r\n");
    EXPECT_EQ(msg.GetPart(2).ContentType, "text/html");
    EXPECT_EQ(msg.From.Name, "Ann");
    ASSERT_EQ(msg.ToCount(), 2);
    EXPECT_EQ(msg.GetTo(1).Name, "C");
    EXPECT_EQ(msg.CCCount(), 0);
    EXPECT_EQ(FormatDateTimeISO(msg.Date), "2002-03-05 14:03:07");
    EXPECT_EQ(msg.Headers.size(), 4u);
    EXPECT_EQ(msg.Decoder.ContentType, "multipart/alternative");
}

TEST(MessageParts, EmptyPartKeepsItsIndexUnlessLast) {
    TQBMessage middle;
    Load(middle,
         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
         "Content-Type: text/plain\r\n\r\n--b\r\nContent-Type: text/html\r\n\r\nx\r\n--b--\r\n");
    ASSERT_EQ(middle.PartCount(), 3);
    EXPECT_EQ(middle.GetPart(1).ContentType, "");
    EXPECT_EQ(middle.GetPart(2).ContentType, "text/html");
    TQBMessage last;
    Load(last,
         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
         "Content-Type: text/plain\r\n\r\nx\r\n--b\r\nContent-Type: text/html\r\n\r\n--b--\r\n");
    EXPECT_EQ(last.PartCount(), 2);
    EXPECT_THROW(last.GetPart(2), std::out_of_range);
    EXPECT_THROW(last.GetPart(-1), std::out_of_range);
}

TEST(MessageParts, SinglePartBodyDecodedWithMainEncoding) {
    TQBMessage msg;
    Load(msg, "Content-Type: text/plain; charset=iso-8859-1\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n\r\nGr=FC=DFe\r\n");
    ASSERT_EQ(msg.PartCount(), 1);
    EXPECT_EQ(msg.GetPart(0).ContentType, "");
    EXPECT_EQ(msg.GetPart(0).Encoding, "");
    EXPECT_EQ(msg.GetPart(0).Data, "Gr\xFC\xDF"
                                   "e\r\n");
}

TEST(MessageLoad, FreshObjectAndHeaderOnlyLines) {
    TQBMessage msg;
    EXPECT_EQ(msg.Shared, 0);
    EXPECT_EQ(msg.GetReceived(0).IP, "(unknown)");
    msg.LoadFromLines({"Subject: Hi", "Cc: \"D\" <d@x>", "Date: garbage"});
    EXPECT_EQ(msg.Decoder.Subject, "Hi");
    EXPECT_EQ(msg.GetCC(0).Address, "d@x");
    EXPECT_EQ(msg.Date, 0);
    EXPECT_EQ(msg.PartCount(), 0);
    EXPECT_EQ(msg.Headers,
              (std::vector<std::string>{"Subject: Hi", "Cc: \"D\" <d@x>", "Date: garbage"}));
}

// A large attachment is held once, as the message text: its data is left out while loading
// and decoded again when wanted. A large text body is kept, as it is shown.
TEST(MessageLoad, LargeAttachmentDataIsLeftOutAndDecodedAgainOnDemand) {
    std::string line, base64, decoded;
    for (int j = 0; j < 19; ++j)
        line += "QUJD";
    for (int i = 0; i < 40; ++i)
        base64 += line + "\r\n";
    for (int i = 0; i < 40 * 19; ++i)
        decoded += "ABC";
    const std::string body(3000, 'b');
    const std::string text =
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n" +
        body +
        "\r\n--b\r\nContent-Type: application/octet-stream\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment; filename=f.bin\r\n\r\n" +
        base64 + "--b--\r\n";
    TQBMessage msg;
    msg.MaxKeptData = 1000;
    TViewStream stream(text);
    msg.LoadFromStream(stream);
    ASSERT_EQ(msg.PartCount(), 3);
    EXPECT_EQ(msg.GetPart(1).Data, body + "\r\n");
    EXPECT_TRUE(msg.GetPart(2).DataLeftOut);
    EXPECT_TRUE(msg.GetPart(2).Data.empty());
    EXPECT_EQ(TQBMessage::DecodePart(text, 2), decoded);
    EXPECT_EQ(TQBMessage::DecodePart(text, 7), "");
}
