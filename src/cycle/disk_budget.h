// The disk budget of mail intake. FoxPro 2.x programs, the Tarnwick
// program among them, cannot read a memo file of 2 GB or more, and a flood
// of large messages can fill logs.fpt or the disk within minutes. Before
// each message the retrieval run asks whether one more may be stored:
//
//   a memo file (.fpt) of either database would pass kMemoFileLimit with
//     two more messages of the largest size kept (setting 310)
//   the disk of either database would keep less than kMinFreeDisk plus
//     that much
//
// Either stops the intake for the run, with a diagnostic that says which
// file or disk and what to do, and a warning on /healthz (run_metrics.h)
// until a run finds room again. Old rows are archived as the manual says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/string.h"
#include "cycle/run_metrics.h"

inline constexpr uint64_t kMemoFileLimit = uint64_t(2) << 30;
inline constexpr uint64_t kMinFreeDisk = uint64_t(512) << 20;

struct DiskFacts {
  struct Memo {
    std::string path;
    uint64_t size = 0;
  };
  std::vector<Memo> memos;  // the .fpt files of both databases
  struct Disk {
    std::string path;  // a directory on it
    bool known = false;
    uint64_t freeBytes = 0;
  };
  std::vector<Disk> disks;
};

// The memo files and free space of the directories (through platform/).
DiskFacts readDiskFacts(const std::vector<std::string>& directories);

// Empty (hold None) when a message of up to messageBytes may be stored;
// else the diagnostic (translated), and hold says which limit.
stringT diskBudgetProblem(const DiskFacts& facts, uint64_t messageBytes, IntakeHold* hold);
