#include "control/chart_service_client.h"
#include "protocol/frame_writer.h"
#include "protocol/payload_decoding.h"

namespace moravex {
namespace {

constexpr int32_t kRecordLength = 24;
constexpr int32_t kTimeLength = 8;

void AppendColumns(RecordSet& rows) {
  rows.AppendField(u"Time", FieldType::kText, 0, kFieldAttributesUnspecified);
  for (const char16_t* name : {u"BuyReferencePrice", u"SellReferencePrice", u"Price", u"PriceOffsetPercent"}) {
    rows.AppendField(name, FieldType::kSingle, 0, kFieldAttributesUnspecified);
  }
}

}  // namespace

// Decodes 24-byte records into a new record set and hands it to the host. The
// flag is cleared only on success, so a failed answer still times out later.
void ChartServiceClient::ProcessPriceChannelData(int32_t message_type) {
  std::shared_ptr<RecordSet> rows;
  try {
    rows = components_.record_sets->Create();
    rows->SetCursorLocation(kUseClient);
    rows->SetCursorType(kOpenDynamic);
    rows->SetLockType(kLockOptimistic);
    AppendColumns(*rows);
    rows->Open();
    int32_t offset = 0;
    // A 1-byte tail is ignored; a longer partial record is a failure rather
    // than a record completed with the buffer's spare zero byte.
    while (offset < state_.PayloadLength - 1) {
      if (state_.PayloadLength - offset < kRecordLength) ThrowSubscriptOutOfRange();
      rows->AddNew();
      rows->PutValue(0, ReadString(*components_.text, Payload(), offset, kTimeLength));
      offset = CheckedAdd(offset, kTimeLength);
      for (int16_t ordinal = 1; ordinal <= 4; ++ordinal) {
        rows->PutValue(ordinal, ReadSingle(Payload(), offset));
        offset = CheckedAdd(offset, 4);
      }
    }
    if (rows->RecordCount() > 0) rows->MoveFirst();
  } catch (const Failure& failure) {
    FireError(failure.Description());
    return;
  }

  ObjectRef argument = rows;
  if (message_type == 5) {
    state_[Pending::FullDataRequest] = false;
    Fire(&ChartServiceEvents::GotFullVantrelData, argument);
  } else {
    state_[Pending::DataUpdates] = false;
    Fire(&ChartServiceEvents::GotVantrelDataUpdates, argument);
  }
  // The host may clear the argument; anything but a record set is an error.
  if (argument && dynamic_cast<RecordSet*>(argument.get()) == nullptr) {
    argument.reset();
    FireError("Type mismatch");
  }
}

}  // namespace moravex
