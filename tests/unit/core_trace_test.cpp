// The support trace: a short session's lines, no credentials at either
// level, the roll at its limit, and an unwritable file that turns it off.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/support/test_client.h"
#include "trace/trace.h"

namespace moravex {
namespace {

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class CoreTrace : public ::testing::TestWithParam<int> {
 protected:
  // CTest runs each case in its own process, in parallel: one file per case.
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    path_ = std::filesystem::temp_directory_path() / ("moravex_core_trace_" + name + ".txt");
    Remove();
  }
  void TearDown() override { Remove(); }
  void Remove() {
    std::filesystem::remove(path_);
    std::filesystem::remove(path_.string() + ".1");
  }
  std::filesystem::path path_;
};

TEST_P(CoreTrace, ASessionIsTracedLineByLineWithoutItsCredentials) {
  TestClient tc;
  tc.trace = Trace::Open(path_.string(), GetParam(), 4242);
  ASSERT_NE(tc.trace, nullptr);
  tc.ReplaceClient();
  tc.ConnectOnly();
  const Text cookie = u"COOKIEcookieCOOKIE";
  tc->Login(TestClient::kUser, TestClient::kPassword, cookie);
  tc.Answer(1, Concat({LongBytes(0), AnsiBytes("OK")}));
  tc->GetSessionTime();
  tc.Answer(4, AnsiBytes("09:30:00"));
  tc->GetSessionDate();
  tc.session_timer->Tick();
  tc.socket->FirePeerClose();

  const std::string text = Read(path_);
  const std::regex shape(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z pid 4242 ctl \d+ \S.*)");
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) EXPECT_TRUE(std::regex_match(line, shape)) << line;
  for (const char* expected :
       {"connect chart.example.test port 4100", " connected\n", "event Connected()",
        "request Login user UUUUUUUUUUUUUUUUUUUUUUUUUUUUUUUUUUUU, password sent (36 bytes), cookie sent (18 bytes)",
        "answer type 1 length 6 after ", "event LoggedIn()", "request GetSessionTime type 4 length 6",
        "answer type 4 length 8 after ", R"(event GotSessionTime("09:30:00"))", "request GetSessionDate",
        "time-out of pending flag", "event Timeout(", "closed by the server",
        "event Disconnected(\"Winsock1_Close\")"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(text.find("PPPP"), std::string::npos);
  EXPECT_EQ(text.find("COOKIE"), std::string::npos);
  // At level 2 the hex stops before the password: no 'P' (0x50) run, no cookie bytes.
  EXPECT_EQ(text.find("50 50 50 50"), std::string::npos);
  EXPECT_EQ(text.find("43 4f 4f 4b"), std::string::npos);
  EXPECT_EQ(text.find("frame out") != std::string::npos, GetParam() >= 2);
  EXPECT_EQ(text.find("frame in 8 bytes: 30 39 3a 33") != std::string::npos, GetParam() >= 2);
}
INSTANTIATE_TEST_SUITE_P(Levels, CoreTrace, ::testing::Values(1, 2));

TEST_F(CoreTrace, RollsToOneOlderFileAtItsLimit) {
  const auto trace = Trace::Open(path_.string(), 1, 1, 1000);
  for (int i = 0; i < 60; ++i) trace->Record(7, "record %d", i);
  const std::string current = Read(path_);
  const std::string older = Read(path_.string() + ".1");
  EXPECT_LE(current.size(), 1000u);
  EXPECT_LE(older.size(), 1000u);
  EXPECT_GT(older.size(), 900u);
  EXPECT_NE(current.find("record 59\n"), std::string::npos);
  EXPECT_EQ(older.find("record 0\n"), std::string::npos);  // the first roll's file was replaced
  EXPECT_NE(older.find("record " + std::to_string(59 - std::count(current.begin(), current.end(), '\n')) + "\n"),
            std::string::npos);
}

TEST_F(CoreTrace, AnUnwritableTraceTurnsItselfOffWithoutFailingAMethod) {
  EXPECT_EQ(Trace::Open("/nonexistent-dir/trace.txt", 1, 1), nullptr);
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TestClient tc;
  tc.trace = Trace::Open("/dev/full", 1, 1);
  ASSERT_NE(tc.trace, nullptr);
  tc.ReplaceClient();
  EXPECT_FALSE(tc.trace->Writing());  // the creation line could not be written
  tc.ConnectAndLogin();
  tc->GetSessionTime();
  tc.Answer(4, AnsiBytes("09:30:00"));
  EXPECT_EQ(tc.events.Take(), std::vector<std::string>{R"(GotSessionTime("09:30:00"))"});
}

}  // namespace
}  // namespace moravex
