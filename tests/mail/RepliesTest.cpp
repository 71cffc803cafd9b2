// Tests of the reply's addresses and of mailto links made safe.
#include "mime/Replies.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Addresses(const std::string& header, bool all) {
    TQBMessage message;
    message.LoadFromLines({header, "", "body"});
    // The account's own address, written in another case, is never answered.
    return ReplyAddresses(message, all, "Me@Example.org");
}

} // namespace

TEST(Replies, ReplyToWinsOverFromAndReplyAllLeavesOutTheUser) {
    const std::string header = "From: Ann <ann@example.org>\r\n"
                               "Reply-To: \"List, The\" <list@example.org>\r\n"
                               "To: me@example.org, Bob <bob@example.org>\r\n"
                               "Cc: ANN@example.org, carl@example.org";
    EXPECT_EQ(Addresses(header, false), (std::vector<std::string>{"list@example.org"}));
    EXPECT_EQ(Addresses(header, true),
              (std::vector<std::string>{"list@example.org", "bob@example.org", "ANN@example.org",
                                        "carl@example.org"}));
    EXPECT_EQ(Addresses("From: Ann <ann@example.org>\r\nTo: me@example.org", true),
              (std::vector<std::string>{"ann@example.org"}));
}

TEST(Replies, MailtoLinksLoseOnlyTheirAttachmentParameters) {
    EXPECT_EQ(SafeMailtoUrl("mailto:a@example.org?subject=Hi&attach=/etc/passwd&body=x"),
              "mailto:a@example.org?subject=Hi&body=x");
    EXPECT_EQ(SafeMailtoUrl("MAILTO:a@example.org?Attachment=%2Fetc&%61ttach=~/.ssh/id_rsa"),
              "MAILTO:a@example.org");
    EXPECT_EQ(SafeMailtoUrl("https://example.org/?attach=1"), "https://example.org/?attach=1");
}
