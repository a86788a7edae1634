#include "common/diagnostics.h"

#include "common/file_access.h"
#include "common/string_mapper.h"

namespace {

stringT formatTime(const char* format, const std::tm& when) {
  if (*format == '\0') return stringT();
  std::string buffer(128, '\0');
  for (; buffer.size() <= 8192; buffer.resize(buffer.size() * 4)) {
    size_t n = std::strftime(buffer.data(), buffer.size(), format, &when);
    if (n > 0) return stringT(buffer.substr(0, n));
  }
  return stringT();
}

// The diagnostic file quotes mail servers and senders: owner and group
// only, like the gateway's tables.
constexpr unsigned kDiagnosticFileMode = 0640;

}  // namespace

void DiagnosticList::setTimeSource(TimeSource source) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeSource_ = std::move(source);
}

void DiagnosticList::openDiagnosticFile(const stringT& path, bool clear) {
  std::lock_guard<std::mutex> lock(mutex_);
  path_ = path;
  if (clear && !path_.empty()) (void)fileAccess().appendToFile(path_.str(), {}, true, kDiagnosticFileMode);
}

stringT DiagnosticList::filePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

void DiagnosticList::addDiagnostic(const stringT& text, DiagnosticLevel level) {
  const stringT listFormat = translate("*%a %m/%d/%y %H:%M");
  std::lock_guard<std::mutex> lock(mutex_);
  std::time_t now = timeSource_ ? timeSource_() : std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);

  if (rows_.size() >= kMaxEntries) rows_.erase(rows_.begin(), rows_.begin() + (rows_.size() - kMaxEntries + 1));
  rows_.push_back({formatTime(listFormat.c_str(), local), text.replaceAll("\r\n", " : ")});
  ++generation_;
  writeJournal(level, text);

  if (path_.empty()) return;
  // A file that cannot be written (a full disk, no permission) loses only
  // its line: the run that reports goes on, and the list and the journal
  // still have the text.
  stringT line = formatTime("%m/%d/%y", local) + " " + formatTime("%H:%M:%S", local) + " : " + text + "\n";
  (void)fileAccess().appendToFile(path_.str(), line.view(), false, kDiagnosticFileMode);
}

std::vector<DiagnosticEntry> DiagnosticList::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<DiagnosticEntry>(rows_.rbegin(), rows_.rend());
}

uint64_t DiagnosticList::generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

void DiagnosticList::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  rows_.clear();
  ++generation_;
}

DiagnosticList& diagnostics() {
  static DiagnosticList instance;
  return instance;
}

void addDiagnostic(const stringT& text, DiagnosticLevel level) { diagnostics().addDiagnostic(text, level); }
