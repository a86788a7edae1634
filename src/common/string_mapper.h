// StringMapper: the loaded message file and the translation of marked texts.
//
// Every user-visible text is written in the program in English with a
// leading "*" ("*POP3 manager"). The whole text, marker included, is the key
// under which the message file of the user's language supplies the text to
// show. A text with no entry is shown without its leading "*", so a marker
// never reaches the user even when a message file lags behind the program
// (tests/common/marked_texts_test.cpp checks that both shipped files have
// every marked text). Format texts are translated first and
// filled in afterwards. Table, field, tag and file names are never passed
// through translate.
//
// Message files (msg%04x.txt) and the manual (manual/%04x/) are looked for
// beside the program, as in the build tree, and then in ../share/orvane
// from it, where an installed program keeps them (/usr/bin/orvserv and
// /usr/share/orvane).
//
// Message file format (msg%04x.txt), read as text:
//
//   | what            | rule                                                 |
//   |-----------------|------------------------------------------------------|
//   | line            | at most 1027 bytes with its line feed; a longer line |
//   |                 | is read as several pieces, of which only the last    |
//   |                 | one has a line end. CR LF is read as LF.             |
//   | entry line      | contains the marker "ORVSERV,"; anything before the  |
//   |                 | marker and every line without it is ignored          |
//   | after marker    | key "," text line-end                                |
//   | quoted key      | key starts with '"': runs to the next '"' followed   |
//   |                 | by ","                                               |
//   | quoted text     | text starts with '"' and the line ends in '"': the   |
//   |                 | quotes are dropped                                   |
//   | ignored         | empty key, empty text, no line end (last line        |
//   |                 | without LF, or a piece of an overlong line)          |
//   | escapes         | \x + hex digits (low 8 bits), \ + 1-3 octal digits,  |
//   |                 | \r \n \t, \ + any other byte gives that byte         |
//   | duplicates      | a later entry replaces an earlier one                |
//
// An entry with the key "_MSGxxxx Version" states the file's own version
// (shown in the About box's messages line).
//
// Limits: an entry is at most one line; the map stops taking new entries
// once its keys and texts hold kMaxMapBytes, so a huge file cannot exhaust
// memory.
//
// Thread-safety: load on the gateway thread before any other thread starts;
// afterwards translate() only reads and may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/manager.h"

inline constexpr std::string_view kMessageMarker = "ORVSERV,";
// Where an installed program's message files and manual are, relative to
// the program directory.
inline constexpr const char* kInstalledResourceDirectory = "../share/orvane";
// Loaded language id when no message file could be loaded.
inline constexpr uint16_t kNoLanguageLoaded = 0xFFFF;

class StringMapper : public Manager {
 public:
  static constexpr size_t kMaxLineLength = 1027;  // line feed included
  static constexpr size_t kMaxMapBytes = size_t(32) << 20;

  StringMapper();

  // Empties the map, then reads the message file at path (see the table
  // above). raw = true stores keys and texts without unescaping. Returns 0,
  // or 1 with "can't open file '%s' to read" when the file cannot be opened.
  [[nodiscard]] virtual int loadMessages(const stringT& path, std::string_view marker = kMessageMarker,
                                         char separator = ',', char terminator = '\n', bool raw = false);
  // Records status 0 with an empty message.
  virtual int resetStatus() { return setStatus(0); }
  // The mapped text when the whole input is a key, otherwise the input
  // without a leading "*" (unmarked()).
  virtual stringT translate(const stringT& text) const;
  // Whether key has an entry in the loaded file.
  bool hasEntry(std::string_view key) const;

  // loadMessages over text already in memory (same rules; empties the map).
  void loadMessagesFromText(std::string_view content, std::string_view marker = kMessageMarker,
                            char separator = ',', char terminator = '\n', bool raw = false);

  // Loads msg%04x.txt for id, else for id & 0x3FF, else for 0, each from
  // the first of resourceDirectories() that has it. Returns the id loaded, or kNoLanguageLoaded after a
  // warning box naming the last path tried (the map is then empty). Records
  // the result as loadedLanguage().
  uint16_t loadLanguage(uint16_t id);

  // The program directory, then its ../share/orvane.
  std::vector<stringT> resourceDirectories() const;
  // "<program directory>/msg%04x.txt".
  stringT messageFilePath(uint16_t id) const;
  // "manual/%04x" for the loaded id, else "manual/0000", in the first of
  // resourceDirectories() that has it; "<program directory>/manual/0000"
  // when none has.
  stringT manualDirectory() const;
  // The About box's messages line: translated "*Messages", the file's own
  // version when it states one, and "(%04X/%04X)" (requested/loaded ids).
  stringT messagesLine() const;

  void setProgramDirectory(stringT directory) { programDirectory_ = std::move(directory); }
  const stringT& programDirectory() const { return programDirectory_; }
  void setRequestedLanguage(uint16_t id) { requestedLanguage_ = id; }
  uint16_t requestedLanguage() const { return requestedLanguage_; }
  uint16_t loadedLanguage() const { return loadedLanguage_; }

  size_t entryCount() const { return map_.size(); }
  // Adds or replaces one entry (texts as they stand, no unescaping).
  void setEntry(const stringT& key, const stringT& text);
  void clear();

 private:
  void addEntry(std::string key, std::string text);

  std::map<std::string, stringT, std::less<>> map_;
  size_t mapBytes_ = 0;
  stringT programDirectory_ = ".";
  uint16_t requestedLanguage_ = 0;
  uint16_t loadedLanguage_ = kNoLanguageLoaded;
};

// The one instance of the process.
StringMapper& stringMapper();

// stringMapper().translate(marked): the loaded text, or marked without its
// leading "*".
stringT translate(const stringT& marked);

// text without one leading "*" (a lone "*" stays as it is).
stringT unmarked(const stringT& text);

// translate() for a printf format text: the translation is used only when
// its conversions (%s, %ld, %04x, ...) are the same, in the same order, as
// those of the marked text, and it has no %n or "*" width; otherwise the
// marked text itself, without its leading "*". A message file can then never make a format read
// arguments that are not there.
stringT translateFormat(const stringT& marked);
