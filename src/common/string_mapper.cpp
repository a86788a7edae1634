#include "common/string_mapper.h"

#include <clocale>

#include "common/file_access.h"
#include "common/message_file.h"

StringMapper::StringMapper() : Manager("String Mapper") {}

void StringMapper::clear() {
  map_.clear();
  mapBytes_ = 0;
}

void StringMapper::setEntry(const stringT& key, const stringT& text) { addEntry(key.str(), text.str()); }

void StringMapper::addEntry(std::string key, std::string text) {
  auto it = map_.find(key);
  if (it != map_.end()) {
    mapBytes_ -= it->first.size() + it->second.size();
    mapBytes_ += key.size() + text.size();
    it->second = stringT(std::move(text));
    return;
  }
  if (mapBytes_ + key.size() + text.size() > kMaxMapBytes) return;
  mapBytes_ += key.size() + text.size();
  map_.emplace(std::move(key), stringT(std::move(text)));
}

void StringMapper::loadMessagesFromText(std::string_view content, std::string_view marker, char separator,
                                        char terminator, bool raw) {
  clear();
  MessageFileReader reader(marker, separator, terminator, raw,
                           [this](std::string key, std::string text) { addEntry(std::move(key), std::move(text)); });
  reader.feed(content);
  reader.finish();
}

int StringMapper::loadMessages(const stringT& path, std::string_view marker, char separator, char terminator,
                               bool raw) {
  clear();
  auto cantOpen = [&] {
    clear();
    return setStatus(1, stringT::format("can't open file '%s' to read", path.c_str()));
  };
  MessageFileReader reader(marker, separator, terminator, raw,
                           [this](std::string key, std::string text) { addEntry(std::move(key), std::move(text)); });
  // A read that fails part-way leaves no half-loaded map behind: the file
  // counts as one that cannot be opened.
  if (fileAccess().readPieces(path.str(), [&](std::string_view piece) { reader.feed(piece); }) !=
      ReadFileResult::Ok)
    return cantOpen();
  reader.finish();
  return setStatus(0);
}

stringT StringMapper::translate(const stringT& text) const {
  auto it = map_.find(text.view());
  return it == map_.end() ? unmarked(text) : it->second;
}

bool StringMapper::hasEntry(std::string_view key) const { return map_.find(key) != map_.end(); }

std::vector<stringT> StringMapper::resourceDirectories() const {
  return {programDirectory_, programDirectory_ + "/" + kInstalledResourceDirectory};
}

stringT StringMapper::messageFilePath(uint16_t id) const {
  return stringT::format("%s/msg%04x.txt", programDirectory_.c_str(), static_cast<unsigned>(id));
}

uint16_t StringMapper::loadLanguage(uint16_t id) {
  const uint16_t tries[] = {id, static_cast<uint16_t>(id & 0x3FF), 0};
  for (uint16_t attempt : tries) {
    bool loaded = false;
    for (const stringT& directory : resourceDirectories()) {
      stringT path = stringT::format("%s/msg%04x.txt", directory.c_str(), static_cast<unsigned>(attempt));
      if ((loaded = loadMessages(path) == 0)) break;
    }
    if (!loaded) continue;
    // The user's locale for dates and messages, but numbers and character
    // classes stay "C": table fields and index keys are written with '.'
    // decimals and ASCII case rules whatever the user's language.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    std::setlocale(LC_CTYPE, "C");
    loadedLanguage_ = attempt;
    return attempt;
  }
  // The warning names the first place looked in: beside the program.
  (void)setStatus(1, stringT::format("can't open file '%s' to read", messageFilePath(0).c_str()));
  showWarning();
  loadedLanguage_ = kNoLanguageLoaded;
  return kNoLanguageLoaded;
}

stringT StringMapper::manualDirectory() const {
  for (unsigned id : {static_cast<unsigned>(loadedLanguage_), 0u}) {
    for (const stringT& directory : resourceDirectories()) {
      stringT dir = stringT::format("%s/manual/%04x", directory.c_str(), id);
      if (fileAccess().isDirectory(dir.str())) return dir;
    }
  }
  return programDirectory_ + "/manual/0000";
}

stringT StringMapper::messagesLine() const {
  stringT line = translate("*Messages");
  const stringT versionText = translate("_MSGxxxx Version");
  std::string_view version = versionText.view();
  size_t colon = version.find(':');
  if (colon != std::string_view::npos) {
    std::string_view rest = version.substr(colon + 1);
    size_t dollar = rest.rfind('$');
    if (dollar != std::string_view::npos) rest = rest.substr(0, dollar);
    line = line + " " + translate("*Version") + " " + stringT(rest).trim();
  }
  return line + stringT::format(" (%04X/%04X)", static_cast<unsigned>(requestedLanguage_),
                                static_cast<unsigned>(loadedLanguage_));
}

StringMapper& stringMapper() {
  static StringMapper instance;
  return instance;
}

stringT translate(const stringT& marked) { return stringMapper().translate(marked); }

stringT unmarked(const stringT& text) {
  if (text.size() > 1 && text[0] == '*') return text.substr(1);
  return text;
}

namespace {

// The conversions of a printf format, each as its length modifier and
// conversion letter ("ld", "s", "x"); false when the format holds %n, a
// "*" width or precision, or an incomplete conversion.
bool conversionsOf(std::string_view format, std::string& out) {
  out.clear();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i >= format.size()) return false;
    if (format[i] == '%') continue;
    while (i < format.size() && std::string_view("-+ #0'").find(format[i]) != std::string_view::npos) ++i;
    while (i < format.size() && ((format[i] >= '0' && format[i] <= '9') || format[i] == '.')) ++i;
    std::string length;
    while (i < format.size() && std::string_view("hlLqjzt").find(format[i]) != std::string_view::npos)
      length += format[i++];
    if (i >= format.size()) return false;
    char conversion = format[i];
    if (std::string_view("diouxXeEfFgGaAcsp").find(conversion) == std::string_view::npos) return false;
    out += length;
    out += conversion;
    out += ',';
  }
  return true;
}

}  // namespace

stringT translateFormat(const stringT& marked) {
  if (!stringMapper().hasEntry(marked.view())) return unmarked(marked);
  stringT translated = translate(marked);
  std::string want, got;
  if (!conversionsOf(marked.view(), want) || !conversionsOf(translated.view(), got) || want != got)
    return unmarked(marked);
  return translated;
}
