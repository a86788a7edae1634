#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "common/string_mapper.h"
#include "mail/html_text.h"
#include "mail/mime_view.h"
#include "mail/text_charset.h"
#include "support/peak_memory.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string messagesFile(const char* name) { return std::string(ORV_TEST_DATA) + "/../../messages/" + name; }

// Loads a message file for the test's lifetime.
class Language {
 public:
  explicit Language(const char* file) { EXPECT_EQ(stringMapper().loadMessages(messagesFile(file)), 0); }
  ~Language() { stringMapper().clear(); }
};

std::string shown(const std::optional<Mailbox>& box) {
  return box ? box->displayName + " <" + box->address + ">" : std::string("(none)");
}

// Every tests/data/mail/mime/NAME.eml against NAME.txt (the request text)
// and NAME.expected ("what = value" lines; make_corpus.py writes them).
TEST(MimeCorpus, EveryMessageGivesItsExpectedView) {
  Language english("msg0000.txt");
  int messages = 0;
  for (const auto& entry : fs::directory_iterator(ORV_TEST_DATA "/mail/mime")) {
    if (entry.path().extension() != ".eml") continue;
    ++messages;
    std::string name = entry.path().stem().string();
    MimeView view = readMime(readFile(entry.path()));
    fs::path base = entry.path();
    EXPECT_EQ(view.requestText, readFile(fs::path(base).replace_extension(".txt"))) << name;

    std::multimap<std::string, std::string> want;
    std::ifstream expected(fs::path(base).replace_extension(".expected"));
    ASSERT_TRUE(expected) << name;
    for (std::string line; std::getline(expected, line);) {
      if (line.empty() || line[0] == '#') continue;
      size_t eq = line.find(" = ");
      ASSERT_NE(eq, std::string::npos) << name << ": " << line;
      want.emplace(line.substr(0, eq), line.substr(eq + 3));
    }
    auto one = [&](const std::string& key) {
      auto it = want.find(key);
      return it == want.end() ? std::string() : it->second;
    };
    auto all = [&](const std::string& key) {
      std::vector<std::string> values;
      for (auto [it, end] = want.equal_range(key); it != end; ++it) values.push_back(it->second);
      return values;
    };
    EXPECT_EQ(view.subject, one("subject")) << name;
    Mailbox from = view.from.value_or(Mailbox{});
    EXPECT_EQ(from.displayName, one("from-name")) << name;
    EXPECT_EQ(from.address, one("from-address")) << name;
    if (want.count("reply-to-address")) {
      EXPECT_EQ(shown(view.replyTo), one("reply-to-name") + " <" + one("reply-to-address") + ">") << name;
      EXPECT_EQ(view.returnAddress, one("reply-to-address")) << name;
    } else if (!from.address.empty()) {
      EXPECT_EQ(view.returnAddress, from.address) << name;
    }
    std::vector<std::string> to;
    for (const Mailbox& box : view.to) to.push_back(box.displayName + " <" + box.address + ">");
    EXPECT_EQ(to, all("to")) << name;
    std::vector<std::string> attachments;
    for (const Attachment& a : view.attachments) attachments.push_back(a.name + " | " + std::to_string(a.size));
    EXPECT_EQ(attachments, all("attachment")) << name;
  }
  EXPECT_GE(messages, 60);
}

std::string withAttachment(size_t bytes) {
  std::string message =
      "From: Big <big@example.com>\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nSee the file.\r\n"
      "--b\r\nContent-Type: application/octet-stream; name=\"survey.bin\"\r\nContent-Disposition: attachment; "
      "filename=\"survey.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t chars = bytes / 3 * 4;  // bytes is a multiple of 3
  message.reserve(message.size() + chars + chars / 76 * 2 + 64);  // no second copy while it grows
  for (size_t i = 0; i < chars; ++i) {
    message += kAlphabet[(i * 7 + i / 76) % 64];
    if (i % 76 == 75) message += "\r\n";
  }
  message += "\r\n--b--\r\n";
  return message;
}

TEST(MimeView, ThirtyMegabyteAttachmentIsCountedNotKept) {
  Language english("msg0000.txt");
  const size_t bytes = 30 * 1024 * 1024 + 3 - (30 * 1024 * 1024 + 3) % 3;
  std::string raw = withAttachment(bytes);
  long before = peakKb();
  MimeView view = readMime(raw);
  long after = peakKb();
  ASSERT_EQ(view.attachments.size(), 1u);
  EXPECT_EQ(view.attachments[0].name, "survey.bin");
  EXPECT_EQ(view.attachments[0].size, bytes);
  EXPECT_EQ(view.requestText, "See the file.\r\n\r\nAttachment: survey.bin (30.0 MB)\r\n");
  // The message (40 MB of base64) is read where the caller holds it; the
  // decoded file (30 MB) is counted, never held.
  EXPECT_LT(after - before, 20 * 1024) << "peak grew from " << before << " kB to " << after << " kB";
}

TEST(MimeView, AttachmentLinesAreTranslated) {
  Language french("msg000c.txt");
  EXPECT_EQ(attachmentLine({"plan.pdf", 12 * 1024}), "Pi\xC3\xA8" "ce jointe : plan.pdf (12 Ko)");
  EXPECT_EQ(attachmentLine({"a", 1023}), "Pi\xC3\xA8" "ce jointe : a (1023 octets)");
  EXPECT_EQ(attachmentLine({"b", 1024 * 1024 + 1}), "Pi\xC3\xA8" "ce jointe : b (1.0 Mo)");
}

TEST(MimeView, HostileStructureIsBounded) {
  // 100000 nested multiparts: GMime's parser would spend time in the
  // square of the depth; the reader stops at its bound and says so.
  std::string deep = "From: a@b.example\r\nSubject: deep\r\nMIME-Version: 1.0\r\n";
  for (int i = 0; i < 100000; ++i)
    deep += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"\r\n\r\n--b" + std::to_string(i) +
            "\r\n";
  deep += "Content-Type: text/plain\r\n\r\nbottom";
  for (int i = 100000; i-- > 0;) deep += "\r\n--b" + std::to_string(i) + "--\r\n";
  MimeView view = readMime(deep);
  EXPECT_TRUE(view.truncated);
  EXPECT_EQ(view.subject, "deep");
  EXPECT_EQ(view.requestText, "");

  // Ten thousand attachments: only the first kMimeMaxParts parts are read.
  std::string many = "From: a@b.example\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n\r\n";
  for (int i = 0; i < 10000; ++i) many += "--m\r\nContent-Type: image/png; name=\"p.png\"\r\n\r\nx\r\n";
  view = readMime(many + "--m--\r\n");
  EXPECT_TRUE(view.truncated);
  EXPECT_LT(view.attachments.size(), kMimeMaxParts);
  EXPECT_GT(view.attachments.size(), kMimeMaxParts / 2);
}

TEST(MimeView, LongTextIsCutAtACharacterBoundary) {
  std::string body;
  while (body.size() < kMimeMaxText + 10) body += "\xC3\xA9";  // é
  MimeView view = readMime("Content-Type: text/plain; charset=utf-8\r\n\r\n" + body);
  EXPECT_TRUE(view.truncated);
  EXPECT_LE(view.requestText.size(), kMimeMaxText);
  EXPECT_GT(view.requestText.size(), kMimeMaxText - 4);
  EXPECT_TRUE(isUtf8(view.requestText));
}

TEST(MimeView, ReturnAddressFallsBackToTheRawRules) {
  // No mailbox GMime can read: the raw value is split as before, so the
  // intake still refuses it by position.
  MimeView bad = readMimeHeaders("From: Bob <bob@@example.com>\r\nSubject: x\r\n\r\nbody\r\n");
  EXPECT_EQ(bad.returnAddress, "bob@@example.com");
  EXPECT_EQ(bad.sender.address, "bob@@example.com");
  EXPECT_EQ(bad.sender.displayName, "Bob");
  // An empty Reply-To gives way to From; a malformed one does not.
  MimeView noReply = readMimeHeaders("Reply-To: \r\nFrom: Ann <ann@example.com>\r\n\r\n");
  EXPECT_EQ(noReply.returnAddress, "ann@example.com");
  MimeView badReply = readMimeHeaders("Reply-To: Desk <desk@@example.com>\r\nFrom: Ann <ann@example.com>\r\n\r\n");
  EXPECT_EQ(badReply.returnAddress, "desk@@example.com");
  // The headers-only reader does not look at the parts.
  MimeView headers = readMimeHeaders("From: a@b.example\r\nSubject: s\r\n\r\nthe body\r\n");
  EXPECT_EQ(headers.requestText, "");
  EXPECT_EQ(headers.subject, "s");
  EXPECT_EQ(readMime("From: a@b.example\r\nSubject: s\r\n\r\nthe body\r\n").requestText, "the body\r\n");
}

TEST(MimeView, SameAnswersFromManyThreads) {
  std::string raw = readFile(ORV_TEST_DATA "/mail/mime/outlook_mixed_pdf.eml");
  MimeView first = readMime(raw);
  std::vector<std::thread> threads;
  std::atomic<int> differing{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        MimeView v = readMime(raw);
        if (v.requestText != first.requestText || v.subject != first.subject || v.from->displayName != first.from->displayName)
          ++differing;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(differing.load(), 0);
}

TEST(HtmlText, LayoutAsABrowserShowsIt) {
  EXPECT_EQ(htmlToText(""), "");
  EXPECT_EQ(htmlToText("<script>only()</script><style>x{}</style>"), "");
  EXPECT_EQ(htmlToText("  a \n\t b  <b>c</b>d "), "a b cd");
  EXPECT_EQ(htmlToText("a<br>b<br><br>c"), "a\r\nb\r\n\r\nc");
  EXPECT_EQ(htmlToText("<p>one</p><p>two</p>"), "one\r\n\r\ntwo");
  EXPECT_EQ(htmlToText("<div>one</div><div>two</div>"), "one\r\ntwo");
  EXPECT_EQ(htmlToText("x<ol><li>a<li>b</ol>y"), "x\r\n\r\n- a\r\n- b\r\n\r\ny");
  EXPECT_EQ(htmlToText("a&nbsp;&nbsp;b &amp;&lt;&#233;&eacute;"), "a  b &<\xC3\xA9\xC3\xA9");
  EXPECT_EQ(htmlToText("<pre>  keep\n  this</pre>"), "  keep\r\n  this");
  // The parser's own depth limit and ours: no recursion on deep trees.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<div><span>";
  EXPECT_NO_FATAL_FAILURE(htmlToText(deep + "bottom"));
}

TEST(TextCharset, ConversionsAndFallbacks) {
  CharsetReading unknown = toUtf8("caf\xE9", "x-unheard-of");
  EXPECT_EQ(unknown.text, "caf\xC3\xA9");
  EXPECT_EQ(unknown.charset, "windows-1252");
  EXPECT_TRUE(unknown.fallback);
  CharsetReading unknownUtf8 = toUtf8("caf\xC3\xA9", "x-unheard-of");
  EXPECT_EQ(unknownUtf8.text, "caf\xC3\xA9");
  EXPECT_TRUE(unknownUtf8.fallback);
  // Declared UTF-8 that is not: each bad byte becomes U+FFFD.
  CharsetReading broken = toUtf8("a\xFF" "b\xC3", "utf-8");
  EXPECT_EQ(broken.text, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_FALSE(broken.fallback);
  // No charset: UTF-8 when the bytes are, else Windows-1252.
  EXPECT_EQ(toUtf8("\xE2\x82\xAC", "").text, "\xE2\x82\xAC");
  EXPECT_EQ(toUtf8("\x80", "").text, "\xE2\x82\xAC");
  EXPECT_TRUE(toUtf8("\x80", "").fallback);
  EXPECT_EQ(toUtf8("\x80", "ISO-8859-1").text, "\xE2\x82\xAC");
  EXPECT_FALSE(isUtf8("\xC0\xAF"));        // overlong
  EXPECT_FALSE(isUtf8("\xED\xA0\x80"));    // surrogate
  EXPECT_TRUE(isUtf8("\xF0\x9F\x98\xA5"));
  EXPECT_EQ(cleanText("a\x01\r\nb\x7F\xC2\x93q\xC2\x94", false), "a\r\nb\xE2\x80\x9Cq\xE2\x80\x9D");
  EXPECT_EQ(cleanText("  a\r\n\tb  ", true), "a   b");
  EXPECT_EQ(cleanText("caf\xE9", true), "caf\xC3\xA9");
}

}  // namespace
