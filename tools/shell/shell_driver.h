// What the shell needs from a control, whatever hosts it: calls by name,
// events by name, a message pump and a way to start over with a fresh
// control. The shell does the rest (commands, hooks, `until`, JSON), so every
// driver prints the same lines for the same session.
//
// A driver guarantees:
// - Events reach the handler only from inside Pump, one at a time, in the
//   order the control fires them; never from inside Call or New. (The control
//   fires only from its socket and timer notifications, which run only while
//   the host's loop runs.)
// - The handler may call Call and New from inside an event. After New,
//   nothing more arrives from the replaced control, even if it is still
//   finishing the notification that ran New.
// - A call's failure comes back as a CallError, never as an exception.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace moravex::shell {

// How a name is reached: method, property read or property write.
enum class CallKind { kMethod, kPropertyGet, kPropertyPut };

// A String or a Long argument, as the interface declares it.
using CallArgument = std::variant<std::u16string, int32_t>;

// What the control raised: an HRESULT-form number, source and description in UTF-8.
struct CallError {
  int32_t number = 0;
  std::string source;
  std::string description;
};

// What a call gave back: nothing, a Boolean, a Long, or the error it raised.
using CallResult = std::variant<std::monostate, bool, int32_t, CallError>;

// A price-channel argument, read from its record set from the cursor to the end.
struct PriceTable {
  struct Row {
    std::u16string time;
    std::array<float, 4> prices;  // the four Single columns in ordinal order
  };
  int32_t record_count = 0;
  std::vector<std::u16string> fields;
  std::vector<Row> rows;
};

// An event argument: String, Long, Single or a read price table; nothing for
// an object argument that is not a readable record set.
using EventValue = std::variant<std::monostate, std::u16string, int32_t, float, PriceTable>;

struct EventArgument {
  std::string name;  // as the event interface declares the parameter
  EventValue value;
};

// The event's name and its arguments in declaration order.
using EventHandler = std::function<void(std::string_view event, const std::vector<EventArgument>& args)>;

class ShellDriver {
 public:
  virtual ~ShellDriver() = default;

  virtual void SetEventHandler(EventHandler handler) = 0;
  // Calls a method or property of the current control by its name.
  virtual CallResult Call(std::string_view name, CallKind kind, const std::vector<CallArgument>& args) = 0;
  // Delivers events for up to `milliseconds` (0: only what is ready now), or
  // until done() holds, checked after each event; returns done().
  virtual bool Pump(int32_t milliseconds, const std::function<bool()>& done) = 0;
  // Replaces the control by a fresh instance.
  virtual void New() = 0;
};

}  // namespace moravex::shell
