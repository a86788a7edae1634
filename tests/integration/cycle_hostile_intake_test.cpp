// Hostile mail through the retrieval and update runs against Dovecot and a
// tarnwick-sim database: a header flood read within bounded memory, a long
// request cut in the Tarnwick memo, and the disk budget that stops intake.
#include <filesystem>
#include <fstream>

#include "cycle/disk_budget.h"
#include "cycle/run_metrics.h"
#include "cycle_world.h"
#include "support/peak_memory.h"
#include "db/work_request_manager.h"

namespace cycletest {
namespace {

const char* const kPat = "From: \"Pat O'Neil\" <pat@new.example>\r\nSubject: Broken window\r\n";

constexpr bool kPeakIsMeaningful = !kUnderAddressSanitizer;

bool contains(const std::vector<std::string>& texts, const std::string& part) {
  for (const auto& t : texts)
    if (t.find(part) != std::string::npos) return true;
  return false;
}

TEST(CycleHostileIntake, HeaderFloodAndLongRequestInBoundedMemory) {
  ORV_REQUIRE_PEERS();
  World w;
  // Two million empty header fields (8 MB) after the real ones, then the
  // request; and a request of 2 MB of text.
  std::string flood = kPat;
  for (int i = 0; i < 2'000'000; ++i) flood += "X:\r\n";
  w.maildir().drop(message(flood, "The window in room 4 is broken.\r\n"));
  std::string longText;
  while (longText.size() < 2 * 1024 * 1024) longText += "The pump in the basement hums all night long.\r\n";
  w.maildir().drop(message("From: \"Pat O'Neil\" <pat@new.example>\r\nSubject: Pump\r\n", longText));
  flood.clear();
  flood.shrink_to_fit();
  longText.clear();
  longText.shrink_to_fit();

  resetPeak();
  long before = peakKb();
  w.cycle().retrieveMail();
  w.cycle().updateLogs();
  long grown = peakKb() - before;
  if (kPeakIsMeaningful) {
    EXPECT_LT(grown, 256 * 1024) << "peak grew by " << grown << " kB";
  }
  EXPECT_EQ(w.maildir().messageFiles(), 0u);

  auto waiting = w.rows(kLogWaiting);
  ASSERT_EQ(waiting.size(), 2u) << (w.diagnosticTexts().empty() ? "" : w.diagnosticTexts()[0]);
  size_t cutNoted = 0;
  for (const LogRecord& row : waiting) {
    cutNoted += row.get(kLrHistory).str().find("Header section not read in full") != std::string::npos;
    WorkRequestManager requests(w.maintenance());
    FieldMap request;
    ASSERT_EQ(requests.FindAndRead(row.getNumber(kLrWrKey), request), 0);
    std::string description = request.get(kReqDescription).str();
    EXPECT_LE(description.size(), kMaxTarnwickMemo);
    if (row.message().header("subject").str() == "Pump")
      EXPECT_NE(description.find("the whole text is in @Orvane log " + std::to_string(row.key())), std::string::npos)
          << description.substr(description.size() - 200);
    else
      EXPECT_EQ(description, "The window in room 4 is broken.\r\n");
  }
  EXPECT_EQ(cutNoted, 1u);
  EXPECT_EQ(w.checkTables(), "");
}

TEST(CycleHostileIntake, MemoFileNearTwoGigabytesStopsTheIntake) {
  ORV_REQUIRE_PEERS();
  World w;
  w.maildir().drop(message(kPat, "The window in room 4 is broken.\r\n"));
  // logs.fpt made to look 2 GB less 30 MB long (a sparse file: its end is
  // never read, the memo header says where new blocks go).
  std::string fpt = w.tarnwick() + "/@Orvane/logs.fpt";
  uintmax_t size = fs::file_size(fpt);
  fs::resize_file(fpt, kMemoFileLimit - 30 * 1024 * 1024);
  w.cycle().retrieveMail();
  EXPECT_EQ(w.maildir().messageFiles(), 1u);
  EXPECT_TRUE(w.rows(kLogPendingProcessing).empty());
  EXPECT_TRUE(contains(w.diagnosticTexts(), "Mail is not taken in: the memo file " + fpt)) << w.diagnosticTexts()[0];
  EXPECT_EQ(runMetrics().intakeHold(), IntakeHold::MemoFile);

  // Rows archived (here: the file as it was): the next run takes the mail.
  fs::resize_file(fpt, size);
  w.cycle().retrieveMail();
  EXPECT_EQ(w.maildir().messageFiles(), 0u);
  EXPECT_EQ(w.rows(kLogPendingProcessing).size(), 1u);
  EXPECT_EQ(runMetrics().intakeHold(), IntakeHold::None);
  EXPECT_EQ(w.checkTables(), "");
}

}  // namespace
}  // namespace cycletest
