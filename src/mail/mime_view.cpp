#include "mail/mime_view.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "mail/address.h"
#include "mail/header_scanner.h"
#include "mail/html_text.h"
#include "mail/mail_message.h"
#include "mail/mail_text.h"
#include "mail/text_charset.h"

namespace {

void initGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

// Owns one GObject reference.
template <typename T>
class Ref {
 public:
  explicit Ref(T* object) : object_(object) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (object_) g_object_unref(object_);
  }
  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_;
};

class ParserOptions {
 public:
  ParserOptions() : options_(g_mime_parser_options_new()) {
    g_mime_parser_options_set_address_compliance_mode(options_, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_parameter_compliance_mode(options_, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_rfc2047_compliance_mode(options_, GMIME_RFC_COMPLIANCE_LOOSE);
    // Raw 8-bit header text: UTF-8 when it is, else Windows-1252.
    static const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(options_, fallback);
  }
  ~ParserOptions() { g_mime_parser_options_free(options_); }
  ParserOptions(const ParserOptions&) = delete;
  ParserOptions& operator=(const ParserOptions&) = delete;
  GMimeParserOptions* get() const { return options_; }

 private:
  GMimeParserOptions* options_;
};

std::string str(const char* s) { return s ? std::string(s) : std::string(); }

std::optional<Mailbox> mailboxOf(InternetAddress* address) {
  if (!address || !INTERNET_ADDRESS_IS_MAILBOX(address)) return std::nullopt;
  Mailbox box;
  box.displayName = cleanText(str(internet_address_get_name(address)), true);
  box.address = cleanText(str(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))), true);
  if (box.address.empty() && box.displayName.empty()) return std::nullopt;
  return box;
}

// Every mailbox of list, groups flattened (one level: groups do not nest).
void collectMailboxes(InternetAddressList* list, std::vector<Mailbox>& out, int depth = 0) {
  if (!list) return;
  int count = internet_address_list_length(list);
  for (int i = 0; i < count && out.size() < kMimeMaxParts; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      if (depth < 2)
        collectMailboxes(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out, depth + 1);
    } else if (auto box = mailboxOf(address)) {
      out.push_back(*box);
    }
  }
}

std::optional<Mailbox> firstMailbox(InternetAddressList* list) {
  std::vector<Mailbox> all;
  collectMailboxes(list, all);
  // The first one with an address; a bare name only when there is nothing else.
  for (const Mailbox& box : all)
    if (!box.address.empty()) return box;
  if (!all.empty()) return all.front();
  return std::nullopt;
}

// The decoded content of a part, written to sink; the number of decoded
// bytes (0 when the part has none).
size_t writeContent(GMimePart* part, GMimeStream* sink) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return 0;
  ssize_t n = g_mime_data_wrapper_write_to_stream(content, sink);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

std::string decodedBytes(GMimePart* part, size_t limit, bool* cut) {
  Ref<GMimeStream> memory(g_mime_stream_mem_new());
  writeContent(part, memory.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
  if (!bytes) return std::string();
  size_t n = bytes->len;
  if (n > limit) {
    n = limit;
    *cut = true;
  }
  return std::string(reinterpret_cast<const char*>(bytes->data), n);
}

size_t decodedSize(GMimePart* part) {
  Ref<GMimeStream> counter(g_mime_stream_null_new());
  writeContent(part, counter.get());
  return GMIME_STREAM_NULL(counter.get())->written;
}

bool isType(GMimeObject* object, const char* type, const char* subtype) {
  GMimeContentType* ct = g_mime_object_get_content_type(object);
  return ct && g_mime_content_type_is_type(ct, type, subtype);
}

bool dispositionIsAttachment(GMimeObject* object) {
  GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
  return disposition && g_mime_content_disposition_is_attachment(disposition);
}

bool isAttachmentPart(GMimeObject* object) {
  if (dispositionIsAttachment(object)) return true;
  // A text part that carries a file name is a file, not the message text.
  return GMIME_IS_PART(object) && g_mime_part_get_filename(GMIME_PART(object)) != nullptr;
}

std::string contentTypeText(GMimeObject* object) {
  GMimeContentType* ct = g_mime_object_get_content_type(object);
  if (!ct) return "application/octet-stream";
  return str(g_mime_content_type_get_media_type(ct)) + "/" + str(g_mime_content_type_get_media_subtype(ct));
}

std::string attachmentNameOf(GMimeObject* part, GMimeMessage* message) {
  std::string name;
  if (GMimeContentDisposition* d = g_mime_object_get_content_disposition(part))
    name = cleanText(str(g_mime_content_disposition_get_parameter(d, "filename")), true);
  if (name.empty()) name = cleanText(str(g_mime_message_get_subject(message)), true);
  if (name.empty()) name = "message/rfc822";
  return name;
}

// The forwarded message's size as it is written out.
size_t messageSize(GMimeMessage* message) {
  Ref<GMimeStream> counter(g_mime_stream_null_new());
  GMimeFormatOptions* format = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
  g_mime_object_write_to_stream(GMIME_OBJECT(message), format, counter.get());
  g_mime_format_options_free(format);
  return GMIME_STREAM_NULL(counter.get())->written;
}

struct BodyChoice {
  GMimePart* plain = nullptr;
  GMimePart* html = nullptr;
  // Further inline text parts beside plain in the same multipart/mixed
  // (Apple Mail splits the text around a picture this way).
  std::vector<GMimePart*> plainContinued;
};

// Reads the structure: finds the body candidates and lists attachments.
class Walker {
 public:
  explicit Walker(MimeView& view) : view_(view) {}

  // Walks the message's own content first; forwarded messages are read
  // for a body, in order, only while none has been found.
  void walkMessage(GMimeObject* root) {
    visit(root, 0, false, nullptr);
    for (size_t i = 0; i < forwarded_.size() && !own_.plain && !own_.html; ++i) {
      GMimeObject* inner = g_mime_message_get_mime_part(forwarded_[i].message);
      if (!inner) continue;
      size_t listedBefore = view_.attachments.size();
      size_t queuedBefore = forwarded_.size();
      visit(inner, forwarded_[i].depth + 1, false, nullptr);
      if (own_.plain || own_.html) {
        // The message whose text became the body is not listed itself; its
        // own attachments are.
        if (forwarded_[i].listed != kNotListed) view_.attachments[forwarded_[i].listed].size = kUsedAsBody;
      } else {
        // No text there: what it holds is part of it, already listed.
        view_.attachments.resize(listedBefore);
        for (size_t k = queuedBefore; k < forwarded_.size(); ++k) forwarded_[k].listed = kNotListed;
      }
    }
    std::erase_if(view_.attachments, [](const Attachment& a) { return a.size == kUsedAsBody; });
  }

  BodyChoice body() const { return own_; }

 private:
  // mixedParent: the multipart/mixed (or other non-alternative, non-related
  // multipart) object sits in directly, if any.
  void visit(GMimeObject* object, int depth, bool inRelatedResources, GMimeObject* mixedParent) {
    if (!object) return;
    if (depth > kMimeMaxDepth || ++parts_ > kMimeMaxParts) {
      view_.truncated = true;
      return;
    }
    if (GMIME_IS_MULTIPART(object)) {
      GMimeMultipart* multipart = GMIME_MULTIPART(object);
      int count = g_mime_multipart_get_count(multipart);
      bool related = isType(object, "multipart", "related");
      bool signedPart = GMIME_IS_MULTIPART_SIGNED(object) || isType(object, "multipart", "signed");
      bool encrypted = GMIME_IS_MULTIPART_ENCRYPTED(object);
      bool mixed = !related && !signedPart && !encrypted && !isType(object, "multipart", "alternative");
      for (int i = 0; i < count; ++i) {
        GMimeObject* child = g_mime_multipart_get_part(multipart, i);
        if (signedPart && i > 0) continue;  // the signature
        if (encrypted && i == 0) continue;  // the version part
        visit(child, depth + 1, inRelatedResources || (related && i > 0), mixed ? object : nullptr);
      }
      return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
      GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
      if (message) {
        forwarded_.push_back({message, depth, view_.attachments.size()});
        view_.attachments.push_back({attachmentNameOf(object, message), messageSize(message)});
      }
      return;
    }
    if (!GMIME_IS_PART(object)) return;
    GMimePart* part = GMIME_PART(object);
    bool attachment = isAttachmentPart(object);
    if (!attachment && isType(object, "text", "plain")) {
      if (!own_.plain) {
        own_.plain = part;
        plainParent_ = mixedParent;
      } else if (mixedParent && mixedParent == plainParent_) {
        own_.plainContinued.push_back(part);
      }
      return;
    }
    if (!attachment && isType(object, "text", "html")) {
      if (!own_.html) own_.html = part;
      return;
    }
    // Pictures of an HTML body, named or not, unless sent as attachments.
    if (inRelatedResources && !dispositionIsAttachment(object)) return;
    if (isType(object, "application", "pgp-signature") || isType(object, "application", "pkcs7-signature") ||
        isType(object, "application", "x-pkcs7-signature"))
      return;
    Attachment entry;
    entry.name = cleanText(str(g_mime_part_get_filename(part)), true);
    if (entry.name.empty()) entry.name = contentTypeText(object);
    entry.size = decodedSize(part);
    view_.attachments.push_back(std::move(entry));
  }

  struct Forwarded {
    GMimeMessage* message;
    int depth;
    size_t listed;  // its entry in the attachments
  };
  static constexpr size_t kUsedAsBody = static_cast<size_t>(-1);
  static constexpr size_t kNotListed = static_cast<size_t>(-1);

  MimeView& view_;
  size_t parts_ = 0;
  BodyChoice own_;
  GMimeObject* plainParent_ = nullptr;
  std::vector<Forwarded> forwarded_;
};

std::string trimTextEnd(std::string text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r' || text[end - 1] == '\n'))
    --end;
  text.resize(end);
  return text;
}

std::string sizeText(size_t bytes) {
  char buffer[64];
  if (bytes < 1024) return formatMarked("*%lu bytes", static_cast<unsigned long>(bytes)).str();
  if (bytes < 1024 * 1024) return formatMarked("*%lu KB", static_cast<unsigned long>((bytes + 1023) / 1024)).str();
  std::snprintf(buffer, sizeof buffer, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return formatMarked("*%s MB", buffer).str();
}

std::string readBody(MimeView& view, GMimePart* part, bool html) {
  bool cut = false;
  std::string bytes = decodedBytes(part, kMimeMaxText, &cut);
  GMimeContentType* ct = g_mime_object_get_content_type(GMIME_OBJECT(part));
  std::string charset = ct ? str(g_mime_content_type_get_parameter(ct, "charset")) : std::string();
  CharsetReading reading = toUtf8(bytes, charset);
  view.bodyCharset = reading.charset;
  view.charsetFallback = reading.fallback;
  view.bodyType = html ? "text/html" : "text/plain";
  std::string text = html ? htmlToText(reading.text) : crlfLines(reading.text);
  text = cleanText(utf8Prefix(text, kMimeMaxText), false);
  if (cut) view.truncated = true;
  return trimTextEnd(std::move(text));
}

// A multipart whose boundary never occurs has no parts; its text is then
// all in the prologue, which is better shown than lost.
std::string prologueText(GMimeObject* root) {
  if (!root || !GMIME_IS_MULTIPART(root) || g_mime_multipart_get_count(GMIME_MULTIPART(root)) > 0) return {};
  const char* prologue = g_mime_multipart_get_prologue(GMIME_MULTIPART(root));
  if (!prologue) return {};
  std::string_view bytes(prologue);
  CharsetReading reading = toUtf8(utf8Prefix(bytes, kMimeMaxText), "");
  return trimTextEnd(cleanText(crlfLines(reading.text), false));
}

bool boundaryWordAt(std::string_view raw, size_t at) {
  static constexpr std::string_view kWord = "boundary";
  if (at + kWord.size() > raw.size()) return false;
  for (size_t k = 0; k < kWord.size(); ++k)
    if ((raw[at + k] | 0x20) != kWord[k]) return false;
  return true;
}

// The value of the boundary parameter whose name ends at at: blanks, "=",
// blanks, then a quoted or bare value on the same line.
std::string_view boundaryValueAt(std::string_view line, size_t at) {
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  if (at >= line.size() || line[at] != '=') return {};
  ++at;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  bool quoted = at < line.size() && line[at] == '"';
  if (quoted) ++at;
  size_t end = at;
  while (end < line.size() && line[end] != '\r' && line[end] != '\n' &&
         (quoted ? line[end] != '"' : line[end] != ';' && line[end] != ' ' && line[end] != '\t'))
    ++end;
  return line.substr(at, end - at);
}

// A delimiter line's boundary: the line without its leading "--", line
// end, trailing blanks and closing "--".
std::string_view delimiterOf(std::string_view line) {
  line.remove_prefix(2);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
    line.remove_suffix(1);
  if (line.size() >= 2 && line.substr(line.size() - 2) == "--") line.remove_suffix(2);
  return line;
}

// GMime builds every part of a message, and its parser compares every line
// with each open boundary: a message of 500,000 empty parts, or of
// thousands of nested multiparts, costs gigabytes or minutes. The parts are
// counted before GMime reads them: the message is cut at the line that
// declares boundary number kMimeMaxParts + 1, or at delimiter line number
// kMimeMaxParts + 1 of a declared boundary, whichever comes first. A
// boundary this scan cannot read (folded onto its own line, or split into
// RFC 2231 pieces) is still bounded: any line starting with "--" counts
// toward a cap four times as large.
size_t structurePrefix(std::string_view raw) {
  std::unordered_set<std::string_view> boundaries;
  size_t declared = 0;
  size_t delimiters = 0;
  size_t dashLines = 0;
  for (size_t start = 0; start < raw.size();) {
    size_t newline = raw.find('\n', start);
    size_t next = newline == std::string_view::npos ? raw.size() : newline + 1;
    std::string_view line = raw.substr(start, next - start);
    if (line.size() > 2 && line[0] == '-' && line[1] == '-' &&
        ((boundaries.count(delimiterOf(line)) && ++delimiters > kMimeMaxParts) || ++dashLines > 4 * kMimeMaxParts))
      return start;
    for (size_t at = 0; at < line.size(); ++at) {
      if ((line[at] | 0x20) != 'b' || !boundaryWordAt(line, at)) continue;
      if (++declared > kMimeMaxParts) return start;
      std::string_view value = boundaryValueAt(line, at + 8);
      if (!value.empty()) boundaries.insert(value);
      at += 7;
    }
    start = next;
  }
  return raw.size();
}

}  // namespace

const Mailbox* MimeView::returnMailbox() const {
  if (replyTo && !replyTo->address.empty()) return &*replyTo;
  if (from) return &*from;
  return nullptr;
}

std::string attachmentLine(const Attachment& attachment) {
  return formatMarked("*Attachment: %s (%s)", attachment.name.c_str(), sizeText(attachment.size).c_str()).str();
}

namespace {

// Where the header lines end: the start of the empty line that ends them
// (the size of raw when it has none).
size_t headerLinesEnd(std::string_view raw) {
  size_t crlf = raw.find("\r\n\r\n");
  size_t lf = raw.find("\n\n");
  if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf < lf)) return crlf + 2;
  if (lf != std::string_view::npos) return lf + 1;
  return raw.size();
}

// The header block with the empty line that ends it (all of raw when it
// has none).
std::string_view headerBlock(std::string_view raw) {
  size_t crlf = raw.find("\r\n\r\n");
  size_t lf = raw.find("\n\n");
  if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf < lf)) return raw.substr(0, crlf + 4);
  if (lf != std::string_view::npos) return raw.substr(0, lf + 2);
  return raw;
}

// The sender and return address, with the raw rules where GMime found no
// mailbox. The raw rules read the header block alone, not a copy of the
// whole message.
void settleSender(MimeView& view, std::string_view rawMessage) {
  MailMessage headers{stringT(headerBlock(rawMessage))};
  if (view.from && !view.from->address.empty()) {
    view.sender = *view.from;
  } else {
    stringT from = headers.header("from");
    auto [name, address] = splitAddress(from);
    view.sender.displayName = cleanText(name.view(), true);
    view.sender.address = (!address.empty() ? address : !name.empty() ? name : from).str();
    if (view.from && view.sender.displayName.empty()) view.sender.displayName = view.from->displayName;
  }
  // A Reply-To that holds no mailbox GMime can read is not skipped for
  // From: its raw value is taken as before, and refused if malformed.
  bool unreadableReplyTo = !view.replyTo && !headers.header("reply-to").trim().empty();
  const Mailbox* box = view.returnMailbox();
  if (!unreadableReplyTo && box && !box->address.empty())
    view.returnAddress = box->address;
  else
    view.returnAddress = returnAddress(headers).str();
}

MimeView readParsed(std::string_view whole, bool withParts) {
  initGMime();
  MimeView view;
  // A header section beyond its bounds is parsed as the part of it that is
  // read, followed by the rest of the message as it is.
  std::string boundedCopy;
  std::string_view rawMessage = whole;
  size_t linesEnd = headerLinesEnd(whole);
  if (BoundedHeader header = boundHeaderSection(whole.substr(0, linesEnd)); header.cut) {
    view.headerCut = true;
    boundedCopy = std::move(header.kept);
    boundedCopy += whole.substr(linesEnd);
    rawMessage = boundedCopy;
  }
  size_t readable = std::min<size_t>(structurePrefix(rawMessage), 0x7FFFFFFF);
  if (readable < rawMessage.size()) view.truncated = true;
  // The parser reads the caller's bytes where they are rather than a copy
  // (a 30 MB attachment is 40 MB of text): the stream does not own the
  // array, and the array's struct is freed without its data at the end.
  GByteArray* bytes = g_byte_array_new_take(reinterpret_cast<guint8*>(const_cast<char*>(rawMessage.data())), readable);
  struct ArrayStruct {
    GByteArray* array;
    ~ArrayStruct() { g_byte_array_free(array, FALSE); }
  } arrayStruct{bytes};
  Ref<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(bytes));
  g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream.get()), FALSE);
  Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  ParserOptions options;
  Ref<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options.get()));
  if (!message) {
    settleSender(view, rawMessage);
    return view;
  }

  view.from = firstMailbox(g_mime_message_get_from(message.get()));
  view.replyTo = firstMailbox(g_mime_message_get_reply_to(message.get()));
  collectMailboxes(g_mime_message_get_to(message.get()), view.to);
  view.subject = cleanText(str(g_mime_message_get_subject(message.get())), true);
  settleSender(view, rawMessage);
  if (!withParts) return view;

  Walker walker(view);
  walker.walkMessage(g_mime_message_get_mime_part(message.get()));
  BodyChoice body = walker.body();
  if (body.plain) {
    view.requestText = readBody(view, body.plain, false);
    for (GMimePart* more : body.plainContinued) {
      MimeView scratch;
      std::string text = readBody(scratch, more, false);
      text.erase(0, text.find_first_not_of("\r\n") == std::string::npos ? text.size() : text.find_first_not_of("\r\n"));
      if (text.empty() || view.requestText.size() + text.size() > kMimeMaxText) continue;
      if (!view.requestText.empty()) view.requestText += "\r\n\r\n";
      view.requestText += text;
    }
  } else if (body.html) {
    view.requestText = readBody(view, body.html, true);
  } else if (view.attachments.empty()) {
    view.requestText = prologueText(g_mime_message_get_mime_part(message.get()));
  }

  if (!view.attachments.empty()) {
    std::string list;
    for (const Attachment& a : view.attachments) list += attachmentLine(a) + "\r\n";
    if (!view.requestText.empty()) view.requestText += "\r\n\r\n";
    view.requestText += list;
    view.requestText = trimTextEnd(std::move(view.requestText));
  }
  if (view.requestText.size() > kMimeMaxText - 2) {
    view.requestText = std::string(utf8Prefix(view.requestText, kMimeMaxText - 2));
    view.truncated = true;
  }
  // Ended by a line end, as a message body is.
  if (!view.requestText.empty()) view.requestText += "\r\n";
  return view;
}

}  // namespace

MimeView readMime(std::string_view rawMessage) { return readParsed(rawMessage, true); }

MimeView readMimeHeaders(std::string_view rawMessage) { return readParsed(headerBlock(rawMessage), false); }
