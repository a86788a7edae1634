#include "mail/html_text.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

namespace {

enum class Kind { Inline, Skip, Break, Block, Paragraph, ListItem, List, Cell, Pre };

Kind kindOf(const char* name) {
  struct Entry {
    const char* name;
    Kind kind;
  };
  static constexpr Entry kEntries[] = {
      {"script", Kind::Skip},     {"style", Kind::Skip},       {"head", Kind::Skip},
      {"title", Kind::Skip},      {"template", Kind::Skip},    {"noscript", Kind::Skip},
      {"br", Kind::Break},        {"p", Kind::Paragraph},      {"h1", Kind::Block},
      {"h2", Kind::Block},        {"h3", Kind::Block},         {"h4", Kind::Block},
      {"h5", Kind::Block},        {"h6", Kind::Block},         {"div", Kind::Block},
      {"blockquote", Kind::Block}, {"tr", Kind::Block},        {"table", Kind::Block},
      {"hr", Kind::Block},        {"address", Kind::Block},    {"article", Kind::Block},
      {"aside", Kind::Block},     {"section", Kind::Block},    {"header", Kind::Block},
      {"footer", Kind::Block},    {"nav", Kind::Block},        {"main", Kind::Block},
      {"center", Kind::Block},    {"dl", Kind::Block},         {"dt", Kind::Block},
      {"dd", Kind::Block},        {"form", Kind::Block},       {"fieldset", Kind::Block},
      {"figure", Kind::Block},    {"figcaption", Kind::Block}, {"caption", Kind::Block},
      {"thead", Kind::Block},     {"tbody", Kind::Block},      {"tfoot", Kind::Block},
      {"body", Kind::Block},      {"html", Kind::Block},       {"li", Kind::ListItem},
      {"ul", Kind::List},         {"ol", Kind::List},          {"menu", Kind::List},
      {"td", Kind::Cell},         {"th", Kind::Cell},          {"pre", Kind::Pre},
      {"textarea", Kind::Pre},    {"listing", Kind::Pre},      {"xmp", Kind::Pre},
  };
  for (const Entry& e : kEntries)
    if (std::strcmp(name, e.name) == 0) return e.kind;
  return Kind::Inline;
}

bool isCollapsible(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Writes text the way a browser lays it out: blanks collapse, line breaks
// that blocks ask for are emitted only before the next visible text.
class TextWriter {
 public:
  void requireBreaks(int count) { pendingBreaks_ = std::max(pendingBreaks_, count); }

  void lineBreak() {
    flushBreaks();
    out_ += "\r\n";
    lineStart_ = true;
    pendingSpace_ = false;
  }

  void space() {
    if (!lineStart_) pendingSpace_ = true;
  }

  void prefix(const std::string& text) {
    flushBreaks();
    if (!lineStart_) {
      out_ += "\r\n";
      lineStart_ = true;
    }
    out_ += text;
    pendingSpace_ = false;
  }

  void text(std::string_view t, bool preformatted) {
    for (size_t i = 0; i < t.size(); ++i) {
      char c = t[i];
      if (preformatted) {
        if (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n') continue;
        if (c == '\n' || c == '\r') {
          lineBreak();
          continue;
        }
        visible(c);
        continue;
      }
      if (isCollapsible(c)) {
        if (!lineStart_) pendingSpace_ = true;
        continue;
      }
      // U+00A0 is kept as a blank of its own.
      if (c == '\xC2' && i + 1 < t.size() && t[i + 1] == '\xA0') {
        visible(' ');
        ++i;
        continue;
      }
      visible(c);
    }
  }

  std::string finish() {
    std::string result;
    result.reserve(out_.size());
    // Drop blanks at line ends and blank lines at both ends.
    size_t start = 0;
    while (start <= out_.size()) {
      size_t end = out_.find("\r\n", start);
      std::string_view line(out_.data() + start, (end == std::string::npos ? out_.size() : end) - start);
      size_t keep = line.find_last_not_of(' ');
      result.append(line.substr(0, keep == std::string_view::npos ? 0 : keep + 1));
      if (end == std::string::npos) break;
      result += "\r\n";
      start = end + 2;
    }
    size_t first = result.find_first_not_of("\r\n");
    if (first == std::string::npos) return std::string();
    size_t last = result.find_last_not_of("\r\n");
    return result.substr(first, last - first + 1);
  }

 private:
  void flushBreaks() {
    if (pendingBreaks_ > 0 && !out_.empty()) {
      int have = trailingBreaks();
      for (int i = have; i < pendingBreaks_; ++i) out_ += "\r\n";
      lineStart_ = true;
      pendingSpace_ = false;
    }
    pendingBreaks_ = 0;
  }

  // Line ends already at the end of the output, counting the line in
  // progress as one when it is not empty.
  int trailingBreaks() const {
    int count = 0;
    size_t n = out_.size();
    while (n >= 2 && out_[n - 2] == '\r' && out_[n - 1] == '\n') {
      ++count;
      n -= 2;
    }
    return count;
  }

  void visible(char c) {
    flushBreaks();
    if (pendingSpace_ && !lineStart_) out_ += ' ';
    pendingSpace_ = false;
    out_ += c;
    lineStart_ = false;
  }

  std::string out_;
  int pendingBreaks_ = 0;
  bool pendingSpace_ = false;
  bool lineStart_ = true;
};

void initLibxml() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace

std::string htmlToText(std::string_view html) {
  initLibxml();
  if (html.empty()) return std::string();
  // libxml2 takes an int size; the caller bounds the text well below it.
  int size = static_cast<int>(std::min<size_t>(html.size(), 0x7FFFFFFF));
  htmlDocPtr doc = htmlReadMemory(html.data(), size, nullptr, "UTF-8",
                                  HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  if (!doc) return std::string();

  TextWriter writer;
  int preDepth = 0;
  int listDepth = 0;
  // Walks the tree without recursion: down to children, then along
  // siblings, closing elements on the way back up.
  xmlNodePtr node = doc->children;
  while (node) {
    bool descend = false;
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
      if (node->content) writer.text(reinterpret_cast<const char*>(node->content), preDepth > 0);
    } else if (node->type == XML_ELEMENT_NODE && node->name) {
      Kind kind = kindOf(reinterpret_cast<const char*>(node->name));
      switch (kind) {
        case Kind::Skip: break;
        case Kind::Break: writer.lineBreak(); break;
        case Kind::Inline: descend = true; break;
        case Kind::Block: writer.requireBreaks(1); descend = true; break;
        case Kind::Paragraph: writer.requireBreaks(2); descend = true; break;
        case Kind::List:
          writer.requireBreaks(listDepth == 0 ? 2 : 1);
          ++listDepth;
          descend = true;
          break;
        case Kind::ListItem:
          writer.requireBreaks(1);
          writer.prefix(std::string(2 * static_cast<size_t>(std::max(listDepth - 1, 0)), ' ') + "- ");
          descend = true;
          break;
        case Kind::Cell: writer.space(); descend = true; break;
        case Kind::Pre: writer.requireBreaks(1); ++preDepth; descend = true; break;
      }
    }
    if (descend && node->children) {
      node = node->children;
      continue;
    }
    // Close node and every ancestor whose last child this was.
    while (node) {
      if (node->type == XML_ELEMENT_NODE && node->name) {
        Kind kind = kindOf(reinterpret_cast<const char*>(node->name));
        bool entered = kind != Kind::Skip && kind != Kind::Break;
        if (entered) {
          if (kind == Kind::Block || kind == Kind::ListItem) writer.requireBreaks(1);
          if (kind == Kind::Paragraph) writer.requireBreaks(2);
          if (kind == Kind::List) {
            --listDepth;
            writer.requireBreaks(listDepth == 0 ? 2 : 1);
          }
          if (kind == Kind::Pre) {
            --preDepth;
            writer.requireBreaks(1);
          }
        }
      }
      if (node->next) {
        node = node->next;
        break;
      }
      node = node->parent;
      if (node == reinterpret_cast<xmlNodePtr>(doc)) node = nullptr;
    }
  }
  xmlFreeDoc(doc);
  return writer.finish();
}
