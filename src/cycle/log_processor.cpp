#include "cycle/log_processor.h"

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "cycle/request_form.h"
#include "cycle/run_metrics.h"
#include "cycle/work_order_summary.h"
#include "db/gateway_tables.h"
#include "db/log_record.h"
#include "db/maintenance_lookups.h"
#include "db/work_request_manager.h"
#include "mail/mime_view.h"

LogProcessor::LogProcessor(DatabaseContext& maintenance, const FieldMap& settings)
    : Manager(translate("*Log Processor")), maintenance_(maintenance), settings_(settings) {}

int LogProcessor::prepareLog(LogRecord& row) {
  WorkRequestManager requests(maintenance_);
  if (!requests.initiated()) return setStatus(kUnavailable, requests.message());
  if (requests.FindAndRead(row.getNumber(kLrWrKey), row.fields()) == 0) {
    // Character columns come back padded to their width; the notices show
    // the values without the padding.
    for (int number : {kReqNumber, kReqSubject, kReqCategory, kReqAccess, kReqPriority})
      row.set(number, row.get(number).trimRight());
    long order = requests.WorkOrderKey();
    WorkOrderFacts facts;
    long requestor = 0;
    if (order > 0 && readWorkOrder(order, facts, &requestor)) row.setNumber(kReqRequestor, requestor);
    return setStatus(0, requests.message());
  }
  MimeView view = readMime(row.message().rawText().view());
  if ((row.getNumber(kLrFlags) & 1) == 0) {
    row.set(kReqSubject, view.subject);
    row.set(kReqDescription, view.requestText);
  } else {
    copyFormToPending(parseRequestForm(view.requestText), row.fields());
  }
  return setStatus(1, requests.message());
}

int LogProcessor::processLog(LogRecord& row) {
  WorkRequestManager requests(maintenance_);
  if (!requests.initiated()) return setStatus(kUnavailable, requests.message());
  long current = row.status();
  if (current == kLogPendingProcessing) return createRequest(row, requests);
  if (current == kLogSpecial) return answerEnquiry(row);
  return followRequest(row, requests, current);
}

int LogProcessor::createRequest(LogRecord& row, WorkRequestManager& requests) {
  FieldMap scratch;
  if (requests.Initiate() != 0 || requests.ReadRequest(scratch) != 0) return setStatus(kFailed, requests.message());
  if (row.get(kReqNumber).empty())
    row.set(kReqNumber, stringT::format(translateFormat("*@O%05ld").c_str(), scratch.getNumber(kReqNumber)));
  row.set(kReqDate, row.get(kLrCDate));
  row.set(kReqTime, row.get(kLrCTime));
  if (requests.Fill(row.fields()) != 0 || requests.Commit() != 0) return setStatus(kFailed, requests.message());
  row.SetStatus(kLogWaiting);
  row.setNumber(kLrWrKey, requests.currentKey());
  runMetrics().requestCreated();
  row.AddHistory(logStatusText(kLogWaiting));
  return setStatus(kChanged);
}

int LogProcessor::answerEnquiry(LogRecord&) { return setStatus(kChanged); }

int LogProcessor::followRequest(LogRecord& row, WorkRequestManager& requests, long current) {
  if (requests.FindByKey(row.getNumber(kLrWrKey)) != 0) return setStatus(kFailed, requests.message());
  long state = requests.State();
  int next = logStatusForRequestState(state);
  bool changed = next != current;
  if (!changed && next != kLogTransferred) return setStatus(kNothingNew);
  if (state == kRequestNoWorkOrder) {
    row.AddHistory(translate("*transferred but no work order"));
    row.SetStatus(next);
  } else if (changed) {
    row.AddHistory(logStatusText(next));
    row.SetStatus(next);
  }
  if (next == kLogRejected) return setStatus(kChanged);
  long order = requests.WorkOrderKey();
  if (order < 1) return setStatus(kChanged);
  WorkOrderFacts facts;
  if (!readWorkOrder(order, facts, nullptr)) return setStatus(kUnavailable, translate("*work order not found"));
  SummaryEvent event = summarizeWorkOrderEvent(next, row.getNumber(kLrOldStatus), changed, row.get(kLrWoSchedule),
                                               facts, settings_.getNumber(kClosingComments) != 0);
  if (event.schedule) row.set(kLrWoSchedule, *event.schedule);
  if (!event.report) return setStatus(kNothingNew);
  row.set(kLrDetails, row.get(kLrDetails) + event.line);
  return setStatus(kChanged);
}

bool LogProcessor::readWorkOrder(long key, WorkOrderFacts& facts, long* requestor) {
  std::optional<WorkOrderRow> order = findWorkOrder(maintenance_, key);
  if (!order) return false;
  facts.number = order->number;
  facts.createDate = order->createDate;
  facts.closeDate = order->closeDate;
  facts.closeComments = order->closeComments;
  facts.workDate = order->workDate;
  facts.interval = order->interval;
  if (requestor) *requestor = order->requestor;
  return true;
}
