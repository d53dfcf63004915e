#include "tools/simulator/options.h"

#include "tools/simulator/answers.h"
#include "tools/simulator/number_text.h"

namespace moravex::sim {
namespace {

bool TakesValue(std::string_view name) {
  return name == "port" || name == "user" || name == "password" || name == "seed" || name == "clock" ||
         FaultOptionTakesValue(name);
}

std::string ApplyOption(SimOptions& options, std::string_view name, std::string_view value) {
  if (name == "port") {
    const auto port = ParseInteger<std::uint16_t>(value);
    if (!port) return "--port: invalid value '" + std::string(value) + "', expected 0..65535";
    options.port = *port;
  } else if (name == "user" || name == "password") {
    if (value.size() != kCredentialLength) {
      return "--" + std::string(name) + ": must be exactly 36 characters, got " + std::to_string(value.size());
    }
    (name == "user" ? options.user : options.password) = std::string(value);
  } else if (name == "seed") {
    const auto seed = ParseInteger<std::uint64_t>(value);
    if (!seed) return "--seed: invalid value '" + std::string(value) + "', expected an unsigned 64-bit number";
    options.seed = *seed;
  } else if (name == "clock") {
    options.clock = ParseClock(value);
    if (!options.clock) return "--clock: invalid value '" + std::string(value) + "', expected \"YYYY-MM-DD HH:MM:SS\"";
  } else if (name == "verbose") {
    options.verbose = true;
  } else {
    return ApplyFaultOption(options.faults, name, value);
  }
  return {};
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
  CommandLine result;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      result.show_help = true;
      return result;
    }
    if (arg.substr(0, 2) != "--") {
      result.error = "unexpected argument '" + std::string(arg) + "'";
      return result;
    }
    arg.remove_prefix(2);
    std::string_view name = arg;
    std::string_view value;
    const auto equals = arg.find('=');
    const bool inline_value = equals != std::string_view::npos;
    if (inline_value) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    if (name != "verbose" && !TakesValue(name) && !IsFaultOption(name)) {
      result.error = "unknown option --" + std::string(name);
      return result;
    }
    if (TakesValue(name) && !inline_value) {
      if (i + 1 >= args.size()) {
        result.error = "--" + std::string(name) + " needs a value";
        return result;
      }
      value = args[++i];
    } else if (!TakesValue(name) && inline_value) {
      result.error = "--" + std::string(name) + " takes no value";
      return result;
    }
    result.error = ApplyOption(result.options, name, value);
    if (!result.error.empty()) return result;
  }
  return result;
}

std::string HelpText() {
  return R"(moravex-sim: chart-server simulator on 127.0.0.1 for demos and tests.

Usage: moravex-sim [options]

The first line on stdout is "listening on 127.0.0.1:PORT"; nothing else is printed there.

Server:
  --port N               TCP port on 127.0.0.1 (default 7401; 0 picks a free port)
  --user TEXT            accepted user ID, exactly 36 characters
                         (default demo-user-00000000000000000000000000)
  --password TEXT        accepted password, exactly 36 characters
                         (default demo-password-0000000000000000000000)
  --seed N               seed of the simulated market (default 1)
  --clock "YYYY-MM-DD HH:MM:SS"
                         fixed simulated time (default: local time of this machine)
  --verbose              log one line per connection and request to stderr
  --help                 this text

Answers:
  session date-time/date/time: "MM/DD/YYYY HH:MM:SS", "MM/DD/YYYY", "HH:MM:SS" (24-hour)
  price channel: one row per minute 09:30:00..16:00:00 (391 rows); with the clock (real or
  fixed) inside session hours only the rows up to its current minute. Full data sends the last
  min(MaxChartPixels, rows) rows; updates send the rows after the last H:MM[:SS] [AM/PM] in the stamp.

Fault injection (TYPES: 'all' or a comma list of message types, e.g. 2,3,4; ':TYPES' omitted = all):
  --delay MS[:TYPES]         delay answers by MS milliseconds
  --never TYPES              never answer these types
  --chunk N[:TYPES]          write answers N bytes at a time, 1 ms apart
  --close-mid TYPES          send the header and half the payload, then close the connection
  --bogus-length LEN[:TYPES] send only a header announcing LEN (e.g. 100001 or -1); the connection then
                             stays open but sends nothing more
  --empty TYPES              answer with an empty payload
  --short N[:TYPES]          keep only the first N payload bytes (header announces what is sent)
  --tail N[:TYPES]           append N zero bytes to the payload (header announces what is sent)
  --login-refuse CODE:TEXT   refuse every login with this code and text
  --login-malformed          answer logins with a 2-byte payload (00 00)
  --push-debug TEXT:MS       send debug text TEXT every MS milliseconds to every connection

Run-time control: a debug message (type 0) "!sim OPTION [VALUE]" applies a fault option above to that
connection only (e.g. "!sim never 4", "!sim delay 500:5"); "!sim reset" restores the command-line faults.
The simulator answers with the debug text "!sim ok" or "!sim error: ...".
)";
}

}  // namespace moravex::sim
