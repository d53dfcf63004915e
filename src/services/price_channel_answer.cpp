#include "control/chart_service_client.h"
#include "protocol/price_channel_records.h"

namespace moravex {

// Decodes the answer's records into a new record set and hands it to the host.
// The flag is cleared only on success, so a failed answer still times out later.
void ChartServiceClient::ProcessPriceChannelData(Pending flag, void (ChartServiceEvents::*event)(ObjectRef&)) {
  std::shared_ptr<RecordSet> rows;
  try {
    rows = components_.record_sets->Create();
    rows->Load(PriceChannelRecords(Payload(), widener_));
  } catch (const Failure& failure) {
    FireError(failure.Description());
    return;
  }

  // The control keeps its own reference through the event, so a table the host
  // replaced cannot be mistaken for a new object at the same address.
  ObjectRef argument = rows;
  state_[flag] = false;
  Fire(event, argument);
  // The host may clear or replace the argument; anything but a record set is an error.
  if (argument && argument != rows && dynamic_cast<RecordSet*>(argument.get()) == nullptr) {
    argument.reset();
    FireError("Type mismatch");
  }
}

}  // namespace moravex
