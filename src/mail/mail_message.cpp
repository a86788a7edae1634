#include "mail/mail_message.h"

#include "common/base64.h"
#include "mail/encoded_words.h"
#include "mail/transfer_decoding.h"

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void MailMessage::parse() const {
  if (parsed_) return;
  index_.clear();
  headerSpan_ = {};
  bodySpan_ = {};
  decodedBody_ = stringT();
  headerText_ = stringT();
  headerCut_ = false;

  std::string_view all = text_.view();
  size_t end = all.find("\r\n\r\n");
  if (end != std::string_view::npos) {
    headerSpan_ = {0, static_cast<uint32_t>(end)};
    bodySpan_ = {static_cast<uint32_t>(end + 4), static_cast<uint32_t>(all.size() - end - 4)};
    std::string_view block = all.substr(0, end + 2);
    BoundedHeader bounded = boundHeaderSection(block);
    if (bounded.cut) {
      headerCut_ = true;
      headerText_ = stringT(std::move(bounded.kept));
      scanHeaders(headerText_.view(), index_);
    } else {
      scanHeaders(block, index_);
    }
  }
  parsed_ = true;

  stringT encoding = header("content-transfer-encoding");
  if (encoding.empty()) return;
  std::string_view body = all.substr(bodySpan_.offset, bodySpan_.length);
  if (equalsIgnoringCase(encoding.view(), "quoted-printable"))
    decodedBody_ = stringT(decodeQuotedPrintable(body));
  else if (equalsIgnoringCase(encoding.view(), "base64"))
    decodedBody_ = stringT(base64Decode(body));
}

stringT MailMessage::header(std::string_view name) const {
  parse();
  auto it = index_.find(name);
  if (it == index_.end()) return stringT();
  return (headerCut_ ? headerText_ : text_).substr(it->second.offset, it->second.length);
}

stringT MailMessage::decodedHeader(std::string_view name) const {
  return stringT(decodeEncodedWords(header(name).view()));
}

stringT MailMessage::body() const {
  parse();
  return text_.substr(bodySpan_.offset, bodySpan_.length);
}

stringT MailMessage::text() const {
  parse();
  return decodedBody_.empty() ? body() : decodedBody_;
}

const HeaderIndex& MailMessage::headers() const {
  parse();
  return index_;
}

bool MailMessage::headerCut() const {
  parse();
  return headerCut_;
}
