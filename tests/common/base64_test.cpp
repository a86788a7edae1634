// The one base64 codec: the settings password, SASL lines, mail bodies and
// encoded words all go through it. The cases where the settings decoder
// and the mail decoder used to disagree (text after a "=") are pinned here.
#include "common/base64.h"

#include <gtest/gtest.h>

#include <string>

TEST(Base64, EveryByteAndEveryLengthRoundTrips) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (size_t n = 0; n <= 7; ++n) EXPECT_EQ(base64Decode(base64Encode(all.substr(0, n))), all.substr(0, n)) << n;
  EXPECT_EQ(base64Decode(base64Encode(all)), all);
  EXPECT_EQ(base64Encode("A"), "QQ==");
  EXPECT_EQ(base64Encode("AB"), "QUI=");
  EXPECT_EQ(base64Encode("ABC"), "QUJD");
}

// What real mail brings: folded lines, blanks, stray characters, padding
// left off. None of it loses a byte.
TEST(Base64, MailToleranceLineBreaksBlanksJunkAndMissingPadding) {
  EXPECT_EQ(base64Decode("SGVs\r\nbG8s\r\n IHdv\tcmxk\r\n"), "Hello, world");
  EXPECT_EQ(base64Decode("SGVs*bG8-"), "Hello");
  EXPECT_EQ(base64Decode("QUI"), "AB");    // "=" missing
  EXPECT_EQ(base64Decode("QQ"), "A");      // "==" missing
  EXPECT_EQ(base64Decode("Q"), "");        // six bits make no byte
  EXPECT_EQ(base64Decode("QQ=\r\n=\r\n"), "A");  // padding split by a line break
  EXPECT_EQ(base64Decode(""), "");
  EXPECT_EQ(base64Decode("===="), "");
}

// Pieces encoded one by one and joined decode whole. The settings decoder
// used to stop at the first "=" (losing the rest); the mail decoder went on
// with the padded group's left-over bits, so every later byte came out
// shifted.
TEST(Base64, TextAfterPaddingStartsANewGroup) {
  EXPECT_EQ(base64Decode("SGk=SGk="), "HiHi");
  EXPECT_EQ(base64Decode("SGVsbG8=\r\nV29ybGQ=\r\n"), "HelloWorld");
  EXPECT_EQ(base64Decode("QQ==QUJD"), "AABC");
  EXPECT_EQ(base64Decode("QUI=QQ=="), "ABA");
}

// A "=" where no padding can be (at the start of a group or after its
// first character) is junk and skipped, as any other foreign character.
TEST(Base64, EqualsSignOutsideThePaddingPlaceIsSkipped) {
  EXPECT_EQ(base64Decode("=QUJD"), "ABC");
  EXPECT_EQ(base64Decode("Q=UJD"), "ABC");
  EXPECT_EQ(base64Decode("QUJD=QUJD"), "ABCABC");
}
