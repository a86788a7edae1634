// Layouts of the maintenance database's tables, as far as the gateway and
// tarnwick-sim know them: every table the gateway reads or writes, with
// the tags it must find when it opens them.
//
// The maintenance program owns these tables; the field lists are the ones
// its files carry (the fixtures under tests/data/fixtures/tables/tarnwick
// were written by another program with exactly these lists).
#pragma once

#include "table/table_layout.h"

DBTableLayout contactsLayout();
enum ContactsField {
  kConKey = 0,
  kConCode = 1,
  kConBTel = 2,
  kConHTel = 3,
  kConPager = 4,
  kConMobile = 5,
  kConHidden = 6,
  kConEmail = 7,
  kConComment = 8,
  kConLangId = 9,
};
enum ContactsTag { kConTagKey = 0, kConTagCode = 1, kConTagEmail = 2 };

DBTableLayout wrequestLayout();
enum WRequestField {
  kWrKey = 0,
  kWrNum = 1,
  kWrStatus = 2,
  kWrDate = 3,
  kWrTime = 4,
  kWrRequestor = 5,
  kWrUnitKey = 6,
  kWrWType = 7,
  kWrSubject = 8,
  kWrAccessCode = 9,
  kWrPriority = 10,
  kWrDesc = 11,
  kWrCloseDate = 12,
  kWrCloseTime = 13,
  kWrComment = 14,
};
enum WRequestTag { kWrTagWrNum = 0, kWrTagAllWrNum = 1, kWrTagKey = 2, kWrTagStatNum = 3, kWrTagStatReq = 4 };

DBTableLayout wordersLayout();
enum WOrdersField {
  kWoKey = 0,
  kWoNum = 1,
  kWoType = 2,
  kWoClass = 3,
  kWoLinkKey = 4,
  kWoUnitKey = 5,
  kWoWType = 6,
  kWoCostCenter = 7,
  kWoProject = 8,
  kWoAccessCode = 9,
  kWoPriority = 10,
  kWoOriginator = 11,
  kWoRequestor = 12,
  kWoSubject = 13,
  kWoDesc = 14,
  kWoCreateDate = 15,
  kWoCreateTime = 16,
  kWoCloseDate = 17,
  kWoCloseTime = 18,
  kWoCloseCode = 19,
  kWoCloseComm = 20,
  kWoDownTime = 21,
  kWoNeedPrint = 22,
  kWoWorkDate = 23,
  kWoWInterval = 24,
};
enum WOrdersTag { kWoTagClassLink = 0, kWoTagKey = 1 };

// units.dbf and the three code tables share one shape: KEY, CODE, DESCRIPT
// with a KEY tag and a CODE tag.
enum CodeTableField { kCodeKey = 0, kCodeCode = 1, kCodeDescript = 2 };
enum CodeTableTag { kCodeTagKey = 0, kCodeTagCode = 1 };
DBTableLayout unitsLayout();
DBTableLayout workcatLayout();
DBTableLayout priorityLayout();
DBTableLayout accessLayout();

// system/default.dbf (and, in the older layout, system/default.dat): the
// maintenance program's own settings row. REINDEX holds the activity code.
DBTableLayout defaultLayout();
enum DefaultField { kDefDbVersion = 0, kDefUpgrStep = 1, kDefReindex = 2 };

// ArchDels.dbf and archives.dbf: the traces an interrupted archive purge
// leaves behind.
DBTableLayout archDelsLayout();
enum ArchDelsField { kAdName = 0, kAdType = 1, kAdCount = 2, kAdBits = 3 };
DBTableLayout archivesLayout();
enum ArchivesField { kArKey = 0, kArName = 1, kArDate = 2, kArArchiving = 3 };
