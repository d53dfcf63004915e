#include "tools/simulator/faults.h"

#include <algorithm>

namespace moravex::sim {

std::optional<DeliveryPlan> PlanDelivery(const FaultConfig& faults, std::uint8_t type, Bytes payload) {
  if (faults.never[type]) return std::nullopt;
  if (faults.empty[type]) payload.clear();
  if (faults.short_bytes[type] >= 0) {
    payload.resize(std::min(payload.size(), static_cast<std::size_t>(faults.short_bytes[type])));
  }
  payload.insert(payload.end(), static_cast<std::size_t>(faults.tail_bytes[type]), std::uint8_t{0});

  DeliveryPlan plan;
  plan.delay_ms = faults.delay_ms[type];
  plan.chunk_bytes = faults.chunk_bytes[type];
  if (faults.bogus_length[type]) {
    plan.bytes = EncodeHeader(type, faults.bogus_length_value[type]);
    plan.after = AfterSend::kMute;
  } else if (faults.close_mid[type]) {
    plan.bytes = EncodeHeader(type, static_cast<std::int32_t>(payload.size()));
    plan.bytes.insert(plan.bytes.end(), payload.begin(),
                      payload.begin() + static_cast<std::ptrdiff_t>(payload.size() / 2));
    plan.after = AfterSend::kClose;
  } else {
    plan.bytes = EncodeFrame(type, payload);
  }
  return plan;
}

}  // namespace moravex::sim
