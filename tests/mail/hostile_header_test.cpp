// Messages whose structure, not their size, would cost memory: the header
// section and the part count are bounded before anything parses them.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "mail/header_scanner.h"
#include "mail/mail_message.h"
#include "mail/mime_view.h"
#include "support/peak_memory.h"

namespace {

std::string repeated(const std::string& unit, size_t count) {
  std::string out;
  out.reserve(unit.size() * count);
  for (size_t i = 0; i < count; ++i) out += unit;
  return out;
}

// Looser under AddressSanitizer, whose quarantine keeps freed blocks resident.
constexpr long kPeakGrowthKb = (kUnderAddressSanitizer ? 256 : 64) * 1024;

TEST(HeaderBounds, WhatIsReadOfASection) {
  const std::string longLine(kMaxHeaderField + 10, 'a');
  struct Case {
    const char* what;
    std::string section;
    bool cut;
    std::string kept;  // when cut
  } cases[] = {
      {"ordinary section", "From: a@b.example\r\nSubject: hi\r\n there\r\n", false, ""},
      {"fields beyond the count", repeated("X: 1\r\n", kMaxHeaderFields) + "From: late@b.example\r\n", true,
       repeated("X: 1\r\n", kMaxHeaderFields)},
      {"field folded beyond its length keeps the lines that fit",
       "Subject: a\r\n" + repeated(" " + std::string(999, 'b') + "\r\n", 100) + "From: a@b.example\r\n", true,
       "Subject: a\r\n" + repeated(" " + std::string(999, 'b') + "\r\n", kMaxHeaderField / 1000) +
           "From: a@b.example\r\n"},
      {"one line beyond the field length is cut to it", "To: " + longLine + "\r\n more\r\nFrom: a@b.example\r\n", true,
       ("To: " + longLine).substr(0, kMaxHeaderField) + "\r\nFrom: a@b.example\r\n"},
      {"section beyond its length", repeated("Received: " + std::string(60 * 1024, 'r') + "\r\n", 5), true,
       repeated("Received: " + std::string(60 * 1024, 'r') + "\r\n", 4)},
      {"bare line feeds count as line ends", repeated("X:\n", kMaxHeaderFields + 1), true,
       repeated("X:\n", kMaxHeaderFields)},
  };
  for (const Case& c : cases) {
    BoundedHeader bounded = boundHeaderSection(c.section);
    EXPECT_EQ(bounded.cut, c.cut) << c.what;
    if (c.cut) {
      EXPECT_EQ(bounded.kept.size(), c.kept.size()) << c.what;
      EXPECT_TRUE(bounded.kept == c.kept) << c.what;
      EXPECT_LE(bounded.kept.size(), kMaxHeaderSection) << c.what;
    }
  }
}

// Each shape fits in a few megabytes but, parsed whole, took hundreds of
// megabytes and tens of seconds. Read now in bounded memory, with what
// comes before the bounds (and the body after the header) still read.
TEST(HeaderBounds, HostileShapesAreReadInBoundedMemory) {
  const std::string top = "From: Alice <alice@b.example>\r\nSubject: hello\r\n";
  struct Case {
    const char* what;
    std::string message;
    std::string subject;
    bool headerCut;
  } cases[] = {
      {"a million empty fields", top + repeated("X:\r\n", 1'500'000) + "\r\nthe body\r\n", "hello", true},
      {"half a million short fields", top + repeated("X:nnnnnnn\r\n", 600'000) + "\r\nthe body\r\n", "hello", true},
      {"a Subject folded a million times",
       "From: Alice <alice@b.example>\r\nSubject: a" + repeated("\r\n a", 1'500'000) + "\r\n\r\nthe body\r\n",
       "a" + repeated(" a", (kMaxHeaderField - 10) / 2), true},
      {"two hundred thousand empty parts",
       top + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n" +
           repeated("--b\r\nContent-Type: text/plain\r\n\r\nthe body\r\n", 200'000) + "--b--\r\n",
       "hello", false},
      {"empty parts under a folded boundary",
       top + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\r\n \"b\"\r\n\r\n" +
           repeated("--b\r\nContent-Type: text/plain\r\n\r\nthe body\r\n", 200'000) + "--b--\r\n",
       "hello", false},
  };
  for (const Case& c : cases) {
    resetPeak();
    long before = peakKb();
    auto start = std::chrono::steady_clock::now();
    MimeView view = readMime(c.message);
    MailMessage message{stringT(c.message)};
    stringT from = message.header("from");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long grown = peakKb() - before;
    EXPECT_LT(grown, kPeakGrowthKb) << c.what << ": peak grew by " << grown << " kB";
    EXPECT_LT(seconds, 20.0) << c.what;
    EXPECT_EQ(view.headerCut, c.headerCut) << c.what;
    EXPECT_EQ(message.headerCut(), c.headerCut) << c.what;
    EXPECT_EQ(from.str(), "Alice <alice@b.example>") << c.what;
    EXPECT_EQ(view.returnAddress, "alice@b.example") << c.what;
    EXPECT_EQ(view.subject.size(), c.subject.size()) << c.what;
    EXPECT_TRUE(view.subject == c.subject) << c.what;
    EXPECT_EQ(view.requestText.substr(0, 10), "the body\r\n") << c.what;
  }
}

}  // namespace
