#include "table/engine_message_table.h"

namespace {

constexpr uint32_t G = kServesEveryLocation;
constexpr uint32_t S = kAppendSystemMessage;

// Order matters: see the header.
constexpr EngineMessageRow kRows[] = {
    {80, 0, G, "*Tag is non-existent"},
    {70, 0, G, "*Cannot open the file"},
    {60, 0, G, "*Cannot create the file"},
    {50, 0, G, "*Record is in use elsewhere"},
    {20, 0, G, "*Record already exists"},
    {5, 0, G, "*Record or tag missing"},
    {4, 0, G, "*Beginning-of-file reached"},
    {3, 0, G, "*End-of-file reached"},
    {-10, 0, G, "*Closing File"},
    {-20, 0, G, "*Creating File"},
    {-20, 90058, S, "*Creating File"},
    {-20, 90059, G, "*Creating File"},
    {-30, 0, G, "*Determining File Length"},
    {-40, 0, G, "*Setting File Length"},
    {-50, 0, G, "*Locking File"},
    {-60, 0, G, "*Opening File"},
    {-60, 90071, S, "*Opening File"},
    {-60, 90072, G, "*Opening File"},
    {-61, 0, G, "*Permission Error Opening File"},
    {-61, 90071, S, "*Permission Error Opening File"},
    {-61, 90072, G, "*Permission Error Opening File"},
    {-62, 0, G, "*Access Error Opening File"},
    {-62, 90071, S, "*Access Error Opening File"},
    {-62, 90072, G, "*Access Error Opening File"},
    {-63, 0, G, "*File Handle Count Overflow Error Opening File"},
    {-63, 90071, S, "*File Handle Count Overflow Error Opening File"},
    {-63, 90072, G, "*File Handle Count Overflow Error Opening File"},
    {-64, 0, G, "*File Find Error Opening File"},
    {-64, 90071, S, "*File Find Error Opening File"},
    {-64, 90072, G, "*File Find Error Opening File"},
    {-69, 0, G, "*Duplicate Instance Found Error Opening File"},
    {-69, 90071, S, "*Duplicate Instance Found Error Opening File"},
    {-69, 90072, G, "*Duplicate Instance Found Error Opening File"},
    {-70, 0, G, "*Reading File"},
    {-70, 90077, S, "*Reading File"},
    {-70, 90078, G, "*Reading File"},
    {-80, 0, G, "*Removing File"},
    {-90, 0, G, "*Renaming File"},
    {-110, 0, G, "*Unlocking File"},
    {-120, 0, G, "*Writing to File"},
    {-120, 80013, 0, "*Writing to READONLY File"},
    {-120, 80117, G, "*Writing to File"},
    {-120, 90075, S, "*Writing to File"},
    {-120, 90076, G, "*Writing to File"},
    {-120, 90085, S, "*Writing to File"},
    {-120, 90086, G, "*Writing to File"},
    {-200, 0, G, "*File is not a Data File"},
    {-210, 0, G, "*Unrecognized Field Name"},
    {-220, 0, G, "*Unrecognized Field Type"},
    {-230, 0, G, "*Record Length is too Large"},
    {-240, 0, G, "*Record Append Attempt Past End of File"},
    {-250, 0, G, "*Seeking to File Position"},
    {-300, 0, G, "*Tag Entry Missing"},
    {-310, 0, G, "*Not a Correct Index File"},
    {-330, 0, G, "*Tag Name not Found"},
    {-340, 0, G, "*Unique Key Error"},
    {-350, 0, G, "*Tag Information Invalid"},
    {-400, 0, G, "*Comma or Bracket Expected"},
    {-410, 0, G, "*Expression not Complete"},
    {-420, 0, G, "*Data File Name not Located"},
    {-422, 0, G, "*IIF() Needs Parameters of Same Length"},
    {-425, 0, G, "*SUBSTR() and STR() need Constant Parameters"},
    {-430, 0, G, "*Number of Parameters is Wrong"},
    {-440, 0, G, "*Overflow while Evaluating Expression"},
    {-450, 0, G, "*Right Bracket Missing"},
    {-460, 0, G, "*Sub-expression Type is Wrong"},
    {-470, 0, G, "*Unrecognized Function"},
    {-480, 0, G, "*Unrecognized Operator"},
    {-490, 0, G, "*Unrecognized Value"},
    {-500, 0, G, "*Unterminated String"},
    {-510, 0, G, "*Expression Invalid for Tag"},
    {-610, 0, G, "*Optimization Error"},
    {-620, 0, G, "*Optimization Removal Failure"},
    {-630, 0, G, "*Optimization File Flushing Failure"},
    {-710, 0, G, "*Relation Error"},
    {-720, 0, G, "*Matching Slave Record Not Located"},
    {-720, 30000, 0, "*Multiple Slave Records Located"},
    {-720, 30001, 0, "*Matching Slave Record Not Located"},
    {-720, 30002, G, "*Matching Slave Record Not Located"},
    {-730, 0, G, "*Relation Referred to Does Not Exist or is Not Initialized"},
    // Report codes: the gateway never prints through the engine.
    {-810, 0, G, "*Report Error"},
    {-811, 0, G, "*Report Error: Area Not Found"},
    {-812, 0, G, "*Report Error: Group Not Found"},
    {-813, 0, G, "*Report Error: Object Not Found"},
    {-814, 0, G, "*Report Error: Style Not Found"},
    {-815, 0, G, "*Report Error: Invalid Report File"},
    {-816, 0, G, "*Report Error: Relation Not Found"},
    {-817, 0, G, "*Report Error: Output Failure"},
    {-818, 0, G, "*Report Error: Page Too Small"},
    {-819, 0, G, "*Report Error: Total Not Found"},
    {-820, 0, G, "*Report Error: Invalid Calculation"},
    {-821, 0, G, "*Report Error: Invalid Field"},
    {-822, 0, G, "*Report Error: Invalid Picture"},
    {-823, 0, G, "*Report Error: Invalid Version"},
    {-910, 0, G, "*Unexpected Information"},
    {-920, 0, G, "*Out of Memory"},
    {-930, 0, G, "*Unexpected Parameter"},
    {-935, 0, G, "*Null Input Parameter unexpected"},
    {-940, 0, G, "*Reserved Error Code"},
    {-950, 0, G, "*Unexpected Result"},
    {-960, 0, G, "*Structure Verification Failure"},
    {-970, 0, G, "*Data Structure Corrupt or not Initialized"},
    {-1010, 0, G, "*Function unsupported: library built without index support"},
    {-1020, 0, G, "*Function unsupported: library built without memo support"},
    {-1030, 0, G, "*Function unsupported: library built without rename support"},
    {-1040, 0, G, "*Function unsupported: library built without write support"},
    {-1050, 0, G, "*Function unsupported: library built without the alternate index format"},
    {-1060, 0, G, "*Function unsupported: library built without the lock hook"},
    {-1090, 0, G, "*Function unsupported"},
    {-1095, 0, G, "*Application/Library version mismatch"},
    {-1110, 0, G, "*Memo File Corrupt"},
    {-1120, 0, G, "*Error Creating Memo File"},
    // Transaction, communication and server codes: the engine raises none
    // of them, but a report carrying one still gets a readable text.
    {-1200, 0, G, "*Transaction Error"},
    {-1210, 0, G, "*Transaction Log File Error"},
    {-1220, 0, G, "*Transaction Rollback Error"},
    {-1230, 0, G, "*Transaction Commit Error"},
    {-1240, 0, G, "*Transaction Already Active"},
    {-1300, 0, G, "*Communication Error"},
    {-1310, 0, G, "*Communication Error: Connection Failed"},
    {-1320, 0, G, "*Communication Error: Connection Lost"},
    {-1330, 0, G, "*Communication Error: Sending"},
    {-1340, 0, G, "*Communication Error: Receiving"},
    {-1350, 0, G, "*Communication Error: Timeout"},
    {-1360, 0, G, "*Communication Error: Unknown Host"},
    {-1370, 0, G, "*Communication Error: Protocol"},
    {-1380, 0, G, "*Communication Error: Disconnected"},
    {-1400, 0, G, "*Server Error"},
    {-1410, 0, G, "*Engine in an Unacknowledged Error State"},
    {-1420, 0, G, "*Name not Found error"},
    {-1430, 0, G, "*Server Error: Access Denied"},
    {-2100, 0, G, "*Server Error: Unsupported Request"},
    {-2110, 0, G, "*Server Error: Version Mismatch"},
};

static_assert(sizeof(kRows) / sizeof(kRows[0]) == 132, "the engine message table has 132 rows");

}  // namespace

std::span<const EngineMessageRow> engineMessageTable() { return kRows; }

int lookupEngineMessage(int32_t code, int32_t location) {
  constexpr int kCount = static_cast<int>(sizeof(kRows) / sizeof(kRows[0]));
  int lo = 0, hi = kCount;
  while (hi != lo + 1) {
    int mid = (lo + hi) / 2;
    const EngineMessageRow& row = kRows[mid];
    bool after = row.code < code || (row.code == code && row.location > location);
    if (after)
      hi = mid;
    else
      lo = mid;
  }
  const EngineMessageRow& row = kRows[lo];
  if (row.code == code && (row.location == location || (row.flags & kServesEveryLocation))) return lo;
  return -1;
}
