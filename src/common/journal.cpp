#include "common/journal.h"

#include <mutex>

namespace {

std::mutex journalMutex;
std::FILE* journalStream = stderr;

}  // namespace

std::string journalLine(JournalPriority priority, const stringT& text) {
  std::string line = "<" + std::to_string(static_cast<int>(priority)) + ">";
  std::string_view view = text.view();
  line.reserve(line.size() + view.size());
  for (size_t i = 0; i < view.size(); ++i) {
    char c = view[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < view.size() && view[i + 1] == '\n') ++i;
      line += " : ";
    } else {
      line += c;
    }
  }
  return line;
}

void writeJournal(JournalPriority priority, const stringT& text) {
  std::string line = journalLine(priority, text) + "\n";
  std::lock_guard<std::mutex> lock(journalMutex);
  if (!journalStream) return;
  std::fwrite(line.data(), 1, line.size(), journalStream);
  std::fflush(journalStream);
}

std::FILE* setJournalStream(std::FILE* stream) {
  std::lock_guard<std::mutex> lock(journalMutex);
  std::FILE* previous = journalStream;
  journalStream = stream;
  return previous;
}
