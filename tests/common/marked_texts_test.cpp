// Every marked text of the program ("*..." string literals in src/, and
// the '*...' keys of the console page inside its raw strings) must have an
// entry in both shipped message files, and every format entry must keep
// the conversions of its key, or the program falls back to English.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/message_file.h"
#include "common/string_mapper.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSourceRoot = fs::path(ORV_TEST_DATA).parent_path().parent_path();

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Marked: a "*" followed by something that starts a word, a format or a
// menu text, so operators ("*", "**") and comment art are not taken.
bool isMarked(std::string_view text) {
  if (text.size() < 2 || text[0] != '*') return false;
  unsigned char c = static_cast<unsigned char>(text[1]);
  return c >= 0x80 || std::isalnum(c) || std::string_view("%&@([_'\"-.").find(static_cast<char>(c)) != std::string_view::npos;
}

// The value of a C++ string literal body (between the quotes).
std::string unescapeCpp(std::string_view body) {
  std::string out;
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '\\' || i + 1 >= body.size()) {
      out += body[i];
      continue;
    }
    char e = body[++i];
    switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x': {
        unsigned value = 0;
        while (i + 1 < body.size() && std::isxdigit(static_cast<unsigned char>(body[i + 1])))
          value = value * 16 + static_cast<unsigned>(std::stoi(std::string(1, body[++i]), nullptr, 16));
        out += static_cast<char>(value & 0xFF);
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          unsigned value = static_cast<unsigned>(e - '0');
          for (int k = 0; k < 2 && i + 1 < body.size() && body[i + 1] >= '0' && body[i + 1] <= '7'; ++k)
            value = value * 8 + static_cast<unsigned>(body[++i] - '0');
          out += static_cast<char>(value & 0xFF);
        } else {
          out += e;  // \" \' \\ \?
        }
    }
  }
  return out;
}

struct Found {
  std::string text;
  std::string where;  // file:line of its first use
};

// Quoted '*...' or "*..." keys inside a raw string (HTML and script).
void scanEmbedded(std::string_view raw, const std::string& where, std::vector<Found>& out) {
  for (size_t i = 0; i + 1 < raw.size(); ++i) {
    char quote = raw[i];
    if ((quote != '"' && quote != '\'') || raw[i + 1] != '*') continue;
    const char stops[] = {quote, '\n', '\0'};
    size_t end = raw.find_first_of(stops, i + 1);
    if (end == std::string_view::npos || raw[end] != quote) continue;
    std::string text(raw.substr(i + 1, end - i - 1));
    if (isMarked(text)) out.push_back({text, where});
    i = end;
  }
}

// A small C++ lexer: comments and character literals skipped, adjacent
// string literals joined, raw strings searched for embedded keys.
std::vector<Found> scanSource(const fs::path& path, const std::string& name) {
  const std::string src = readFile(path);
  std::vector<Found> found;
  int line = 1;
  std::string pending;
  int pendingLine = 0;
  bool inLiteralRun = false;
  auto flush = [&] {
    if (inLiteralRun && isMarked(pending)) found.push_back({pending, name + ":" + std::to_string(pendingLine)});
    inLiteralRun = false;
    pending.clear();
  };
  for (size_t i = 0; i < src.size();) {
    char c = src[i];
    if (c == '\n') {
      ++line;
      ++i;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (src.compare(i, 2, "//") == 0) {
      i = src.find('\n', i);
      if (i == std::string::npos) break;
      continue;
    }
    if (src.compare(i, 2, "/*") == 0) {
      size_t end = src.find("*/", i + 2);
      end = end == std::string::npos ? src.size() : end + 2;
      for (size_t k = i; k < end; ++k) line += src[k] == '\n';
      i = end;
      continue;
    }
    if (c == 'R' && i + 1 < src.size() && src[i + 1] == '"' &&
        (i == 0 || !(std::isalnum(static_cast<unsigned char>(src[i - 1])) || src[i - 1] == '_'))) {
      flush();
      size_t open = src.find('(', i + 2);
      std::string delimiter = ")" + src.substr(i + 2, open - i - 2) + "\"";
      size_t close = src.find(delimiter, open);
      std::string_view body(src.data() + open + 1, close - open - 1);
      scanEmbedded(body, name + ":" + std::to_string(line), found);
      for (char b : body) line += b == '\n';
      i = close + delimiter.size();
      continue;
    }
    if (c == '\'') {
      flush();
      size_t k = i + 1;
      while (k < src.size() && src[k] != '\'') k += src[k] == '\\' ? 2 : 1;
      i = k + 1;
      continue;
    }
    if (c == '"') {
      size_t k = i + 1;
      while (k < src.size() && src[k] != '"') k += src[k] == '\\' ? 2 : 1;
      if (!inLiteralRun) pendingLine = line;
      inLiteralRun = true;
      pending += unescapeCpp(std::string_view(src.data() + i + 1, k - i - 1));
      i = k + 1;
      continue;
    }
    flush();
    ++i;
  }
  flush();
  return found;
}

// Every marked text under src/, first use kept.
std::map<std::string, std::string> markedTextsOfTheProgram() {
  std::map<std::string, std::string> texts;
  for (const auto& entry : fs::recursive_directory_iterator(kSourceRoot / "src")) {
    if (!entry.is_regular_file()) continue;
    std::string ext = entry.path().extension().string();
    if (ext != ".cpp" && ext != ".h") continue;
    std::string name = fs::relative(entry.path(), kSourceRoot).string();
    for (Found& f : scanSource(entry.path(), name)) texts.emplace(f.text, f.where);
  }
  return texts;
}

std::map<std::string, std::string> entriesOf(const std::string& file) {
  std::map<std::string, std::string> entries;
  MessageFileReader reader(kMessageMarker, ',', '\n', false,
                           [&](std::string key, std::string text) { entries[key] = std::move(text); });
  reader.feed(readFile(kSourceRoot / "messages" / file));
  reader.finish();
  return entries;
}

// A marked printf format: every "%" starts a printf conversion. Date
// formats ("%a %m/%d/%y") go to strftime and may reorder freely.
bool isPrintfFormat(std::string_view key) {
  if (key.empty() || key[0] != '*' || key.find('%') == std::string_view::npos) return false;
  for (size_t i = key.find('%'); i != std::string_view::npos; i = key.find('%', i)) {
    ++i;
    while (i < key.size() && std::string_view("-+ #0123456789.hlLqjzt").find(key[i]) != std::string_view::npos) ++i;
    if (i >= key.size() || std::string_view("diouxXeEfFgGaAcsp%").find(key[i]) == std::string_view::npos) return false;
    ++i;
  }
  return true;
}

// A key as it would be written in a message file.
std::string asEntry(const std::string& key) {
  std::string escaped;
  for (char c : key) {
    if (c == '\n') escaped += "\\n";
    else if (c == '\r') escaped += "\\r";
    else if (c == '\t') escaped += "\\t";
    else if (c == '\\') escaped += "\\\\";
    else escaped += c;
  }
  bool quote = escaped.find(',') != std::string::npos || escaped.front() == '"';
  return "ORVSERV," + (quote ? "\"" + escaped + "\"" : escaped) + ",";
}

class MarkedTexts : public ::testing::TestWithParam<const char*> {};
TEST(MarkedTextScan, FindsJoinedEscapedAndEmbeddedTextsButNotCommentsOrOperators) {
  std::vector<Found> found;
  const std::string sample =
      "// \"*In a comment\"\n"
      "/* \"*In a block\" */\n"
      "f(\"*Joined \" \"text \\\"quoted\\\"\");\n"
      "g('*', \"**\", \"*\");\n"
      "constexpr auto page = R\"X(<th data-text=\"*From\"></th> T('*Save'))X\";\n"
      "h(\"*%a %m/%d\");\n";
  fs::path scratch = fs::temp_directory_path() / "orv_marked_scan_test.cpp";
  std::ofstream(scratch, std::ios::binary) << sample;
  found = scanSource(scratch, "sample.cpp");
  fs::remove(scratch);
  std::vector<std::string> texts;
  for (const Found& f : found) texts.push_back(f.text + " @" + f.where);
  EXPECT_EQ(texts, (std::vector<std::string>{"*Joined text \"quoted\" @sample.cpp:3", "*From @sample.cpp:5",
                                             "*Save @sample.cpp:5", "*%a %m/%d @sample.cpp:6"}));
}

TEST_P(MarkedTexts, EveryMarkedTextHasAnEntry) {
  const std::map<std::string, std::string> program = markedTextsOfTheProgram();
  ASSERT_GT(program.size(), 300u) << "the scan found too few marked texts under " << (kSourceRoot / "src");
  const std::map<std::string, std::string> entries = entriesOf(GetParam());
  std::ostringstream missing;
  size_t count = 0;
  for (const auto& [text, where] : program) {
    if (entries.count(text)) continue;
    ++count;
    missing << "  " << asEntry(text) << "    (" << where << ")\n";
  }
  EXPECT_EQ(count, 0u) << "messages/" << GetParam() << " lacks " << count
                       << " marked text(s) of the program; add an entry for each:\n"
                       << missing.str();
}

TEST_P(MarkedTexts, FormatEntriesKeepTheConversionsOfTheirKey) {
  // translateFormat uses a translation only when its conversions match;
  // otherwise the English text is shown, which a test must catch.
  StringMapper& mapper = stringMapper();
  mapper.loadMessagesFromText(readFile(kSourceRoot / "messages" / GetParam()));
  std::ostringstream wrong;
  for (const auto& [key, text] : entriesOf(GetParam())) {
    if (!isPrintfFormat(key)) continue;
    if (translateFormat(stringT(key)).view() != std::string_view(text)) wrong << "  " << key << " -> " << text << "\n";
  }
  mapper.clear();
  EXPECT_TRUE(wrong.str().empty()) << "messages/" << GetParam()
                                   << ": these translations do not keep their key's %-conversions:\n"
                                   << wrong.str();
}

INSTANTIATE_TEST_SUITE_P(ShippedFiles, MarkedTexts, ::testing::Values("msg0000.txt", "msg000c.txt"),
                         [](const auto& info) { return std::string(info.param).substr(0, 7); });

}  // namespace
