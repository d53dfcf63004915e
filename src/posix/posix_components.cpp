#include "posix/posix_components.h"

#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "native/memory_table.h"
#include "native/windows_1252.h"
#include "posix/posix_socket.h"
#include "trace/trace.h"

namespace moravex {

std::unique_ptr<SocketComponent> MakePosixSocket(EventLoop& loop, NameLookup lookup, SocketSizes sizes) {
  return std::make_unique<PosixSocket>(loop, std::move(lookup), sizes);
}

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

Components MakePosixComponents(EventLoop& loop, size_t socket_read_size) {
  Components components;
  components.winsock1 = MakePosixSocket(loop, {}, {.read = socket_read_size});
  components.tmr_login_and_connect_timeout = MakePosixTimer(loop, "tmrLoginAndConnectTimeout");
  components.tmr_data_request_timeout = MakePosixTimer(loop, "tmrDataRequestTimeout");
  components.tmr_session_info_timeout = MakePosixTimer(loop, "tmrSessionInfoTimeout");
  components.record_sets = std::make_shared<MemoryTableFactory>();
  components.text = std::make_shared<Windows1252Conversion>();
  components.trace = Trace::ForProcess(Environment("MORAVEX1_TRACE"), Environment("MORAVEX1_TRACE_LEVEL"),
                                       static_cast<uint64_t>(getpid()));
  return components;
}

}  // namespace moravex
