#include "session/supervision_groups.h"

#include <array>
#include <cstddef>

#include "services/data_requests.h"

namespace moravex {
namespace {

// The connection's own steps; every other group comes from the request rows.
constexpr Supervised kLoginAndConnect[] = {
    {Pending::Login, LoginTimeout},
    {Pending::Connect, ConnectTimeout},
};

constexpr size_t GroupSize(TimerId timer) {
  size_t size = 0;
  for (const DataRequest& request : kDataRequests) size += request.timer == timer ? 1 : 0;
  return size;
}

template <TimerId timer>
constexpr auto GroupOf() {
  std::array<Supervised, GroupSize(timer)> group{};
  size_t next = 0;
  for (const DataRequest& request : kDataRequests) {
    if (request.timer == timer) group[next++] = {request.flag, request.timeout};
  }
  return group;
}

constexpr auto kDataRequest = GroupOf<TimerId::DataRequest>();
constexpr auto kSessionInfo = GroupOf<TimerId::SessionInfo>();

}  // namespace

std::span<const Supervised> SupervisionGroup(TimerId timer) {
  switch (timer) {
    case TimerId::LoginAndConnect: return kLoginAndConnect;
    case TimerId::DataRequest: return kDataRequest;
    case TimerId::SessionInfo: return kSessionInfo;
  }
  return {};
}

}  // namespace moravex
