#include "windows/components/windows_components.h"

#include "windows/components/ado_record_set.h"
#include "windows/components/ansi_conversion.h"
#include "windows/components/message_window.h"
#include "windows/components/window_timer.h"
#include "windows/components/winsock_socket.h"

namespace moravex::windows {

moravex::Components MakeWindowsComponents(size_t socket_read_size) {
  using namespace moravex::windows;
  const auto window = MessageWindow::Create();
  moravex::Components components;
  components.winsock1 = std::make_unique<WinsockSocket>(window, NameLookup{}, SocketSizes{.read = socket_read_size});
  components.tmr_login_and_connect_timeout = MakeWindowTimer(window, "tmrLoginAndConnectTimeout");
  components.tmr_data_request_timeout = MakeWindowTimer(window, "tmrDataRequestTimeout");
  components.tmr_session_info_timeout = MakeWindowTimer(window, "tmrSessionInfoTimeout");
  components.record_sets = std::make_shared<AdoRecordSetFactory>();
  components.text = std::make_shared<AnsiConversion>();
  return components;
}

}  // namespace moravex::windows
