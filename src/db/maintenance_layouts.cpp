#include "db/maintenance_layouts.h"

namespace {

constexpr const char* kLive = kLiveRecordFilter;

constexpr DBFieldInfo kContactsFields[] = {
    {"KEY", 'N', 10, 0},    {"CODE", 'C', 50, 0},   {"BTEL", 'C', 42, 0},    {"HTEL", 'C', 42, 0},
    {"PAGER", 'C', 42, 0},  {"MOBILE", 'C', 42, 0}, {"HIDDEN", 'L', 1, 0},   {"EMAIL", 'C', 128, 0},
    {"COMMENT", 'M', 10, 0}, {"LANGID", 'C', 4, 0},
};
constexpr DBTagInfo kContactsTags[] = {
    {"KEY", "Key", kLive, kTagUniqueContinue},
    {"CODE", "UPPER(code)", "RECNO()<>1.AND..NOT.DELETED().AND..NOT.HIDDEN", kTagUniqueContinue},
    {"EMAIL", "UPPER(email)", "RECNO()<>1.AND..NOT.DELETED().AND..NOT.HIDDEN", kTagNotUnique},
};

constexpr DBFieldInfo kWRequestFields[] = {
    {"KEY", 'N', 10, 0},        {"WRNUM", 'C', 15, 0},     {"STATUS", 'C', 1, 0},
    {"DATE", 'D', 8, 0},        {"TIME", 'C', 6, 0},       {"REQUESTOR", 'N', 10, 0},
    {"UNITKEY", 'N', 10, 0},    {"WTYPE", 'C', 10, 0},     {"SUBJECT", 'C', 60, 0},
    {"ACCESSCODE", 'C', 10, 0}, {"PRIORITY", 'C', 10, 0},  {"WDESC", 'M', 10, 0},
    {"CLOSEDATE", 'D', 8, 0},   {"CLOSETIME", 'C', 6, 0},  {"COMMENT", 'M', 10, 0},
};
constexpr DBTagInfo kWRequestTags[] = {
    {"WRNUM", "WRNUM", ".NOT.DELETED().AND.RECNO()>1.AND.STATUS=\" \"", kTagNotUnique},
    {"ALLWRNUM", "wrnum", ".NOT.DELETED().AND.RECNO()>1", kTagNotUnique},
    {"KEY", "KEY", kLive, kTagUniqueContinue},
    {"STATNUM", "STATUS+WRNUM", kLive, kTagNotUnique},
    {"STATREQ", "STATUS+STR(REQUESTOR,10,0)+WRNUM", kLive, kTagNotUnique},
};

constexpr DBFieldInfo kWOrdersFields[] = {
    {"KEY", 'N', 10, 0},        {"WONUM", 'C', 15, 0},      {"TYPE", 'C', 1, 0},
    {"CLASS", 'C', 1, 0},       {"LINKKEY", 'N', 10, 0},    {"UNITKEY", 'N', 10, 0},
    {"WTYPE", 'C', 10, 0},      {"COSTCENTER", 'C', 15, 0}, {"PROJECT", 'C', 10, 0},
    {"ACCESSCODE", 'C', 10, 0}, {"PRIORITY", 'C', 10, 0},   {"ORIGINATOR", 'N', 10, 0},
    {"REQUESTOR", 'N', 10, 0},  {"SUBJECT", 'C', 60, 0},    {"WDESC", 'M', 10, 0},
    {"CREATEDATE", 'D', 8, 0},  {"CREATETIME", 'C', 6, 0},  {"CLOSEDATE", 'D', 8, 0},
    {"CLOSETIME", 'C', 6, 0},   {"CLOSECODE", 'C', 10, 0},  {"CLOSECOMM", 'M', 10, 0},
    {"DOWNTIME", 'C', 6, 0},    {"NEEDPRINT", 'L', 1, 0},   {"WORKDATE", 'D', 8, 0},
    {"WINTERVAL", 'N', 6, 0},
};
constexpr DBTagInfo kWOrdersTags[] = {
    {"CLASSLINK", "CLASS+STR(LINKKEY,10,0)", ".NOT.DELETED().AND.RECNO()>1.AND.LINKKEY<>0",
     kTagNotUnique},
    {"KEY", "KEY", kLive, kTagUniqueContinue},
};

constexpr DBFieldInfo kUnitsFields[] = {
    {"KEY", 'N', 10, 0},
    {"CODE", 'C', 15, 0},
    {"DESCRIPT", 'C', 60, 0},
};
constexpr DBTagInfo kUnitsTags[] = {
    {"KEY", "KEY", kLive, kTagUniqueContinue},
    {"CODE", "UPPER(CODE)", kLive, kTagUniqueContinue},
};

// workcat.dbf, priority.dbf and access.dbf.
constexpr DBFieldInfo kCodeFields[] = {
    {"KEY", 'N', 10, 0},
    {"CODE", 'C', 10, 0},
    {"DESCRIPT", 'C', 40, 0},
};
constexpr DBTagInfo kCodeTags[] = {
    {"KEY", "KEY", kLive, kTagUniqueContinue},
    {"CODE", "CODE", kLive, kTagUniqueContinue},
};

constexpr DBFieldInfo kDefaultFields[] = {
    {"DBVERSION", 'C', 15, 0},
    {"UPGRSTEP", 'N', 5, 0},
    {"REINDEX", 'N', 5, 0},
};

constexpr DBFieldInfo kArchDelsFields[] = {
    {"NAME", 'C', 30, 0},
    {"TYPE", 'C', 1, 0},
    {"COUNT", 'N', 10, 0},
    {"BITS", 'M', 10, 0},
};

constexpr DBFieldInfo kArchivesFields[] = {
    {"KEY", 'N', 10, 0},
    {"NAME", 'C', 30, 0},
    {"ARCHDATE", 'D', 8, 0},
    {"ARCHIVING", 'L', 1, 0},
};
constexpr DBTagInfo kArchivesTags[] = {
    {"KEY", "KEY", kLive, kTagUniqueContinue},
};

}  // namespace

DBTableLayout contactsLayout() { return {kContactsFields, kContactsTags}; }
DBTableLayout wrequestLayout() { return {kWRequestFields, kWRequestTags}; }
DBTableLayout wordersLayout() { return {kWOrdersFields, kWOrdersTags}; }
DBTableLayout unitsLayout() { return {kUnitsFields, kUnitsTags}; }
DBTableLayout workcatLayout() { return {kCodeFields, kCodeTags}; }
DBTableLayout priorityLayout() { return {kCodeFields, kCodeTags}; }
DBTableLayout accessLayout() { return {kCodeFields, kCodeTags}; }
DBTableLayout defaultLayout() { return {kDefaultFields, {}}; }
DBTableLayout archDelsLayout() { return {kArchDelsFields, {}}; }
DBTableLayout archivesLayout() { return {kArchivesFields, kArchivesTags}; }
