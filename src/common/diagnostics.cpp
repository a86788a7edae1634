#include "common/diagnostics.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

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
std::FILE* openDiagnostic(const std::string& path, bool truncate) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND), 0640);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "a");
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace

void DiagnosticList::setTimeSource(TimeSource source) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeSource_ = std::move(source);
}

void DiagnosticList::openDiagnosticFile(const stringT& path, bool clear) {
  std::lock_guard<std::mutex> lock(mutex_);
  path_ = path;
  if (clear && !path_.empty()) {
    if (std::FILE* file = openDiagnostic(path_.str(), true)) std::fclose(file);
  }
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
  std::FILE* file = openDiagnostic(path_.str(), false);
  if (!file) return;
  stringT line = formatTime("%m/%d/%y", local) + " " + formatTime("%H:%M:%S", local) + " : " + text + "\n";
  std::fwrite(line.view().data(), 1, line.size(), file);
  std::fclose(file);
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
