#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "mail/address.h"
#include "mail/encoded_words.h"
#include "mail/mail_message.h"
#include "mail/transfer_decoding.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// "\r", "\n", "\t", "\\" and "\xHH" escapes of the .expected files.
std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
      continue;
    }
    char e = s[++i];
    if (e == 'r') out += '\r';
    else if (e == 'n') out += '\n';
    else if (e == 't') out += '\t';
    else if (e == 'x') {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else out += e;
  }
  return out;
}

// Every tests/data/mail/NAME.eml against NAME.expected: lines "what = value"
// where what is "header NAME", "decoded NAME", "body", "text",
// "return-address" or "validate return-address".
TEST(MailCorpus, EveryMessageGivesItsExpectedValues) {
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ORV_TEST_DATA "/mail")) {
    if (entry.path().extension() != ".eml") continue;
    MailMessage message(readFile(entry.path()));
    std::ifstream expected(std::filesystem::path(entry.path()).replace_extension(".expected"));
    ASSERT_TRUE(expected) << entry.path();
    std::string line;
    while (std::getline(expected, line)) {
      if (line.empty() || line[0] == '#') continue;
      size_t eq = line.find(" = ");
      ASSERT_NE(eq, std::string::npos) << line;
      std::string what = line.substr(0, eq);
      std::string want = unescape(line.substr(eq + 3));
      std::string got;
      if (what.rfind("header ", 0) == 0) got = message.header(what.substr(7)).str();
      else if (what.rfind("decoded ", 0) == 0) got = message.decodedHeader(what.substr(8)).str();
      else if (what == "body") got = message.body().str();
      else if (what == "text") got = message.text().str();
      else if (what == "return-address") got = returnAddress(message).str();
      else if (what == "validate return-address") {
        stringT address = returnAddress(message);
        got = std::to_string(validateAddress(address, static_cast<int>(address.length())));
      } else FAIL() << "unknown check " << what;
      EXPECT_EQ(got, want) << entry.path().filename() << ": " << what;
      ++checked;
    }
  }
  EXPECT_GT(checked, 40);
}

TEST(MailMessage, HeaderNamesAreCutTo127Characters) {
  std::string name(200, 'N');
  MailMessage m("X: 1\r\n" + name + ": long\r\n\r\n");
  EXPECT_EQ(m.header(std::string(127, 'n')), "long");
  EXPECT_EQ(m.header(std::string(200, 'n')), "");
}

TEST(MailMessage, CopiesAreWholeAndParsingIsLazy) {
  MailMessage original("Subject: s\r\nContent-Transfer-Encoding: base64\r\n\r\naGk=\r\n");
  EXPECT_FALSE(original.parsed());
  MailMessage copy = original;
  EXPECT_EQ(copy.text(), "hi");
  EXPECT_TRUE(copy.parsed());
  EXPECT_FALSE(original.parsed());
  original.parse();
  EXPECT_EQ(original.header("subject"), "s");
  EXPECT_EQ(MailMessage().text(), "");
}

// A body whose parts were encoded one by one (each padded) and joined, as
// some mailers append a footer, decodes whole and unshifted.
TEST(MailMessage, Base64BodyOfJoinedPaddedPiecesDecodesWhole) {
  MailMessage m("Content-Transfer-Encoding: base64\r\n\r\nWzFdIE5FVzs7DQo=\r\nLS0gZm9vdGVy\r\n");
  EXPECT_EQ(m.text(), "[1] NEW;;\r\n-- footer");
  EXPECT_EQ(decodeEncodedWords("=?utf-8?B?SGk=SGk=?="), "HiHi");
}

TEST(MailMessage, InvalidDecodingLeavesTheRawBody) {
  // base64 of nothing useful decodes to empty, so text() is the raw body.
  MailMessage m("Content-Transfer-Encoding: base64\r\n\r\n====\r\n");
  EXPECT_EQ(m.text(), "====\r\n");
  MailMessage other("Content-Transfer-Encoding: 7bit\r\n\r\n=41\r\n");
  EXPECT_EQ(other.text(), "=41\r\n");
}

TEST(TransferDecoding, QuotedPrintableEscapesAndSoftBreaks) {
  EXPECT_EQ(decodeQuotedPrintable("a=3Db"), "a=b");
  EXPECT_EQ(decodeQuotedPrintable("join=\r\ned"), "joined");
  EXPECT_EQ(decodeQuotedPrintable("x=\rY"), "x\rY");
  EXPECT_EQ(decodeQuotedPrintable("x=4\r\ny"), "xy");  // CR in place of the second digit
  EXPECT_EQ(decodeQuotedPrintable("=G1"), std::string(1, '\x01'));
  EXPECT_EQ(decodeQuotedPrintable("end="), "end=");
  EXPECT_EQ(decodeQuotedPrintable("end=4"), "end=4");
}

TEST(EncodedWords, QAndBWordsAndWhatIsPassedThroughAsTyped) {
  EXPECT_EQ(decodeEncodedWords("=?iso-8859-1?q?caf=E9_noir?="), "caf\xe9 noir");
  EXPECT_EQ(decodeEncodedWords("=?any?B?aGk=?= =?any?b?aGk=?="), "hi hi");
  EXPECT_EQ(decodeEncodedWords("=?utf-8?X?abc?="), "=?utf-8?X?abc?=");
  EXPECT_EQ(decodeEncodedWords("=?utf 8?Q?abc?="), "=?utf 8?Q?abc?=");
  EXPECT_EQ(decodeEncodedWords("=?utf-8?Q?a\tb?="), "=?utf-8?Q?a\tb?=");
  EXPECT_EQ(decodeEncodedWords("=?utf-8?Q?ab?x"), "=?utf-8?Q?ab?x");
  EXPECT_EQ(decodeEncodedWords("a = b"), "a = b");
  EXPECT_EQ(decodeEncodedWords("price=?"), "price=?");
  EXPECT_EQ(decodeEncodedWords("=?cs?Q?unfinished"), "=?cs?Q?unfinished");
}

// Several megabytes in one header, one body and many lines parse in linear
// time: a quadratic scan would take minutes here, not milliseconds.
TEST(MailMessage, LargeHostileInputsParseInOnePass) {
  std::string folded = "Subject: x";
  for (int i = 0; i < 200000; ++i) folded += "\r\n =?a?Q?=41=42?=";
  std::string manyNames;
  for (int i = 0; i < 50000; ++i) manyNames += "X-" + std::to_string(i) + ": v\r\n";
  std::string body(8 << 20, '=');
  MailMessage m(folded + "\r\n" + manyNames + "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + body);
  // The header block is read within its bounds: the Subject's folded lines
  // up to kMaxHeaderField bytes (15 per line, each decoding to 5), and the
  // first kMaxHeaderFields fields.
  EXPECT_TRUE(m.headerCut());
  EXPECT_EQ(m.decodedHeader("subject").length(), 1 + (kMaxHeaderField - 10) / 15 * 5);
  EXPECT_EQ(m.header("x-500"), "v");
  EXPECT_EQ(m.header("x-9000"), "");  // past the cap on fields
  EXPECT_LE(m.headers().size(), kMaxHeaderFields);
  EXPECT_FALSE(m.text().empty());
}

}  // namespace
