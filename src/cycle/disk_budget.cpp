#include "cycle/disk_budget.h"

#include "mail/mail_text.h"
#include "platform/disk_space.h"

DiskFacts readDiskFacts(const std::vector<std::string>& directories) {
  DiskFacts facts;
  for (const std::string& directory : directories) {
    for (const SizedFile& file : filesEndingWith(directory, ".fpt")) facts.memos.push_back({file.path, file.size});
    DiskFacts::Disk disk;
    disk.path = directory;
    disk.known = diskFreeBytes(directory, &disk.freeBytes) == 0;
    facts.disks.push_back(disk);
  }
  return facts;
}

stringT diskBudgetProblem(const DiskFacts& facts, uint64_t messageBytes, IntakeHold* hold) {
  *hold = IntakeHold::None;
  // A stored message is written once, and its row may be written again
  // with a longer history: room for two.
  const uint64_t room = 2 * messageBytes;
  auto mb = [](uint64_t bytes) { return static_cast<unsigned long>(bytes >> 20); };
  for (const DiskFacts::Memo& memo : facts.memos)
    if (memo.size + room >= kMemoFileLimit) {
      *hold = IntakeHold::MemoFile;
      return formatMarked("*Mail is not taken in: the memo file %s holds %lu MB and would pass the 2 GB that FoxPro "
                          "programs can read; archive old rows (see the manual)",
                          memo.path.c_str(), mb(memo.size));
    }
  for (const DiskFacts::Disk& disk : facts.disks)
    if (disk.known && disk.freeBytes < kMinFreeDisk + room) {
      *hold = IntakeHold::DiskSpace;
      return formatMarked("*Mail is not taken in: the disk of %s has %lu MB free, and the gateway keeps at least "
                          "%lu MB free; free some space or archive old rows (see the manual)",
                          disk.path.c_str(), mb(disk.freeBytes), mb(kMinFreeDisk + room));
    }
  return stringT();
}
