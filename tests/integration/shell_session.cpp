#include "tests/integration/shell_session.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace moravex::testing {
namespace {

// The shell to run: MORAVEX_SHELL_COMMAND's words, separated by '|' so paths
// with blanks survive (another host of the control, e.g. under Wine), else
// the native shell.
std::vector<std::string> ShellCommand() {
  const char* command = std::getenv("MORAVEX_SHELL_COMMAND");
  if (command == nullptr || *command == '\0') return {MORAVEX_SHELL_PATH};
  std::vector<std::string> argv;
  const std::string words = command;
  for (size_t start = 0;;) {
    const size_t bar = words.find('|', start);
    argv.push_back(words.substr(start, bar - start));
    if (bar == std::string::npos) return argv;
    start = bar + 1;
  }
}

}  // namespace

void ShellSession::Start(std::vector<std::string> simulator_options) {
  std::vector<std::string> argv = {
      MORAVEX_SIM_PATH, "--port", "0", "--user", kUser, "--password", kPassword, "--clock", "2026-12-08 09:45:00"};
  argv.insert(argv.end(), simulator_options.begin(), simulator_options.end());
  simulator_ = std::make_unique<ChildProcess>(argv);
  const auto first = simulator_->ReadLine();
  ASSERT_TRUE(first.has_value()) << "simulator printed nothing";
  const std::string prefix = "listening on 127.0.0.1:";
  ASSERT_EQ(first->rfind(prefix, 0), 0u) << *first;
  port_ = std::stoi(first->substr(prefix.size()));
  StartShellOnly();
}

void ShellSession::StartShellOnly() { shell_ = std::make_unique<ChildProcess>(ShellCommand()); }

std::string ShellSession::Call(const std::string& command) {
  shell_->WriteLine(command);
  auto line = shell_->ReadLine();
  EXPECT_TRUE(line.has_value()) << "no answer to " << command;
  return line.value_or("");
}

std::vector<std::string> ShellSession::CallUntil(const std::string& command, const std::string& event,
                                                 int milliseconds) {
  shell_->WriteLine(command + "\nuntil " + event + " " + std::to_string(milliseconds));
  auto lines = shell_->ReadUntil([](const std::string& l) { return l.rfind("{\"until\":", 0) == 0; },
                                 std::chrono::milliseconds(milliseconds + 5000));
  EXPECT_FALSE(lines.empty());
  if (lines.empty()) return lines;
  EXPECT_EQ(lines.back(), "{\"until\":\"" + event + "\",\"ok\":true}");
  lines.pop_back();
  return lines;
}

std::vector<std::string> ShellSession::Wait(int milliseconds) {
  shell_->WriteLine("wait " + std::to_string(milliseconds));
  shell_->WriteLine("get LoginAndConnectTimeout");  // a marker that answers without the network
  auto lines = shell_->ReadUntil(
      [](const std::string& l) { return l.rfind("{\"call\":\"get LoginAndConnectTimeout\"", 0) == 0; },
      std::chrono::milliseconds(milliseconds + 5000));
  if (!lines.empty()) lines.pop_back();
  return lines;
}

std::string ShellSession::ConnectCommand() const { return "Connect 127.0.0.1 " + std::to_string(port_); }

std::string ShellSession::LoginCommand() const { return "Login \"" + kUser + "\" \"" + kPassword + "\" \"\""; }

void ShellSession::ConnectAndLogin() {
  ASSERT_EQ(CallUntil("Connect 127.0.0.1 " + std::to_string(port_), "Connected"),
            (std::vector<std::string>{R"({"call":"Connect","result":null})", R"({"event":"Connected"})"}));
  ASSERT_EQ(CallUntil(LoginCommand(), "LoggedIn"),
            (std::vector<std::string>{R"({"call":"Login","result":null})", R"({"event":"LoggedIn"})"}));
}

int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace moravex::testing
