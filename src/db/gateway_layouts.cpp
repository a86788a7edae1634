#include "db/gateway_layouts.h"

namespace {

constexpr const char* kLive = kLiveRecordFilter;

constexpr DBFieldInfo kAccountsFields[] = {
    {"KEY", 'N', 10, 0},
    {"FLAGS", 'N', 10, 0},
    {"CONTACTKEY", 'N', 10, 0},
};
constexpr DBTagInfo kAccountsTags[] = {
    {"KEY", "KEY", kLive, kTagUniqueContinue},
    {"CONTACTKEY", "CONTACTKEY", kLive, kTagUniqueContinue},
};

constexpr DBFieldInfo kLogsFields[] = {
    {"KEY", 'N', 10, 0},        {"DETAILS", 'M', 10, 0},    {"MESSAGE", 'M', 10, 0},
    {"HISTORY", 'M', 10, 0},    {"STATUS", 'N', 10, 0},     {"OLDSTATUS", 'N', 10, 0},
    {"WOSCHEDULE", 'C', 15, 0}, {"WRKEY", 'N', 10, 0},      {"FLAGS", 'N', 10, 0},
    {"CDATE", 'D', 8, 0},       {"CTIME", 'C', 6, 0},
};

#define ORV_STATUS_FILTER(n) "RECNO()<>1.AND..NOT.DELETED().AND.STATUS=" #n
// The order is the order of the tags in the index file; the logs manager
// reaches a status's tag through its own table, not by position.
constexpr DBTagInfo kLogsTags[] = {
    {"KEY", "KEY", kLive, kTagUniqueContinue},
    {"STATUS", "STATUS", kLive, kTagNotUnique},
    {"ERROR", "STATUS", ORV_STATUS_FILTER(0), kTagNotUnique},
    {"PENDPROC", "STATUS", ORV_STATUS_FILTER(1), kTagNotUnique},
    {"ACTIVE", "STATUS", ORV_STATUS_FILTER(2), kTagNotUnique},
    {"TRANSFERRED", "STATUS", ORV_STATUS_FILTER(3), kTagNotUnique},
    {"COMPLETED", "STATUS", ORV_STATUS_FILTER(4), kTagNotUnique},
    {"VOID", "STATUS", ORV_STATUS_FILTER(5), kTagNotUnique},
    {"DELETED", "STATUS", ORV_STATUS_FILTER(9), kTagNotUnique},
    {"SAVED", "STATUS", ORV_STATUS_FILTER(7), kTagNotUnique},
    {"SPECIAL", "STATUS", ORV_STATUS_FILTER(6), kTagNotUnique},
    {"ACK", "STATUS", ORV_STATUS_FILTER(8), kTagNotUnique},
};
#undef ORV_STATUS_FILTER

constexpr DBFieldInfo kLogsFields1[] = {
    {"KEY", 'N', 10, 0},     {"DATE", 'D', 8, 0},      {"TIME", 'C', 6, 0},
    {"SUBJECT", 'C', 60, 0}, {"DESC", 'M', 10, 0},     {"DETAILS", 'M', 10, 0},
    {"MESSAGE", 'M', 10, 0}, {"EXPLAIN", 'M', 10, 0},  {"ACCKEY", 'N', 10, 0},
    {"XKEY", 'N', 10, 0},    {"REF", 'C', 15, 0},      {"STATUS", 'N', 10, 0},
    {"OLDSTATUS", 'N', 10, 0},
};
constexpr DBTagInfo kLogsTags1[] = {
    {"KEY", "KEY", kLive, kTagUniqueContinue},
    {"REF", "UPPER(REF)", kLive, kTagNotUnique},
    {"ACCKEY", "ACCKEY", kLive, kTagNotUnique},
    {"STATUS", "STATUS", kLive, kTagNotUnique},
    {"OLDSTATUS", "OLDSTATUS", kLive, kTagNotUnique},
};

constexpr DBTagInfo kLogsTags2[] = {
    {"KEY", "KEY", kLive, kTagUniqueContinue},
    {"WRKEY", "WRKEY", kLive, kTagUniqueContinue},
    {"STATUS", "STATUS", kLive, kTagNotUnique},
    {"OLDSTATUS", "OLDSTATUS", kLive, kTagNotUnique},
};

}  // namespace

DBTableLayout accountsLayout() { return {kAccountsFields, kAccountsTags}; }
DBTableLayout logsLayout() { return {kLogsFields, kLogsTags}; }
DBTableLayout logsLayout1() { return {kLogsFields1, kLogsTags1}; }
DBTableLayout logsLayout2() { return {kLogsFields, kLogsTags2}; }
