#include <gtest/gtest.h>

#include "tools/simulator/options.h"

namespace moravex::sim {
namespace {

CommandLine Parse(std::vector<std::string_view> args) { return ParseCommandLine(args); }

TEST(SimulatorOptions, DefaultsAreUsableDemoSettings) {
  const CommandLine parsed = Parse({});
  ASSERT_EQ(parsed.error, "");
  EXPECT_FALSE(parsed.show_help);
  EXPECT_EQ(parsed.options.user, "demo-user-00000000000000000000000000");
  EXPECT_EQ(parsed.options.password, "demo-password-0000000000000000000000");
  EXPECT_EQ(parsed.options.user.size(), 36u);
  EXPECT_EQ(parsed.options.password.size(), 36u);
  EXPECT_EQ(parsed.options.port, kDefaultPort);
  EXPECT_EQ(parsed.options.seed, 1u);
  EXPECT_FALSE(parsed.options.clock);
  EXPECT_FALSE(parsed.options.verbose);
  EXPECT_FALSE(parsed.options.faults.never.any());
}

TEST(SimulatorOptions, ReadsServerSettingsInBothSpellings) {
  const std::string user(36, 'u');
  const std::string password_arg = "--password=" + std::string(36, 'p');
  const CommandLine good =
      Parse({"--port", "0", "--user", user, password_arg, "--seed=42", "--clock", "2026-12-08 09:45:00", "--verbose"});
  ASSERT_EQ(good.error, "");
  EXPECT_EQ(good.options.port, 0);
  EXPECT_EQ(good.options.user, user);
  EXPECT_EQ(good.options.password, std::string(36, 'p'));
  EXPECT_EQ(good.options.seed, 42u);
  ASSERT_TRUE(good.options.clock);
  EXPECT_EQ(good.options.clock->hour, 9);
  EXPECT_TRUE(good.options.verbose);
}

TEST(SimulatorOptions, RefusesBadServerSettings) {
  EXPECT_NE(Parse({"--user", std::string_view("short")}).error, "");
  EXPECT_NE(Parse({"--password", std::string(37, 'p')}).error, "");
  EXPECT_NE(Parse({"--port", "65536"}).error, "");
  EXPECT_NE(Parse({"--port", "-1"}).error, "");
  EXPECT_NE(Parse({"--port"}).error, "");
  EXPECT_NE(Parse({"--seed", "x"}).error, "");
  EXPECT_NE(Parse({"--clock", "tomorrow"}).error, "");
  EXPECT_NE(Parse({"--verbose=1"}).error, "");
  EXPECT_NE(Parse({"--frobnicate"}).error, "");
  EXPECT_NE(Parse({"stray"}).error, "");
}

TEST(SimulatorOptions, HelpStopsParsingAndNamesEveryOption) {
  EXPECT_TRUE(Parse({"--help", "--frobnicate"}).show_help);
  EXPECT_TRUE(Parse({"-h"}).show_help);
  const std::string help = HelpText();
  for (const char* option : {"--port", "--user", "--password", "--seed", "--clock", "--verbose", "--help", "--delay",
                             "--never", "--chunk", "--close-mid", "--bogus-length", "--empty", "--short", "--tail",
                             "--login-refuse", "--login-malformed", "--push-debug", "!sim"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

TEST(SimulatorOptions, FaultSwitchesApplyToTheirTypes) {
  const CommandLine parsed = Parse({"--delay",
                                    "250:2,3",
                                    "--delay=900:3",
                                    "--never",
                                    "4",
                                    "--never",
                                    "7,8",
                                    "--chunk",
                                    "5",
                                    "--close-mid",
                                    "5",
                                    "--bogus-length",
                                    "-1:6",
                                    "--empty",
                                    "all",
                                    "--short",
                                    "2:1",
                                    "--tail",
                                    "23:5",
                                    "--login-refuse",
                                    "-7:Locked: call us",
                                    "--login-malformed",
                                    "--push-debug",
                                    "tick: ok:100"});
  ASSERT_EQ(parsed.error, "");
  const FaultConfig& f = parsed.options.faults;
  EXPECT_EQ(f.delay_ms[2], 250);
  EXPECT_EQ(f.delay_ms[3], 900);
  EXPECT_EQ(f.delay_ms[4], 0);
  EXPECT_TRUE(f.never[4] && f.never[7] && f.never[8]);
  EXPECT_EQ(f.never.count(), 3u);
  EXPECT_EQ(f.chunk_bytes[0], 5u);
  EXPECT_EQ(f.chunk_bytes[255], 5u);
  EXPECT_TRUE(f.close_mid[5]);
  EXPECT_EQ(f.close_mid.count(), 1u);
  EXPECT_TRUE(f.bogus_length[6]);
  EXPECT_EQ(f.bogus_length_value[6], -1);
  EXPECT_EQ(f.empty.count(), 256u);
  EXPECT_EQ(f.short_bytes[1], 2);
  EXPECT_EQ(f.short_bytes[2], -1);
  EXPECT_EQ(f.tail_bytes[5], 23);
  ASSERT_TRUE(f.login_refusal);
  EXPECT_EQ(f.login_refusal->code, -7);
  EXPECT_EQ(f.login_refusal->text, "Locked: call us");
  EXPECT_TRUE(f.login_malformed);
  ASSERT_TRUE(f.push_debug);
  EXPECT_EQ(f.push_debug->text, "tick: ok");
  EXPECT_EQ(f.push_debug->interval_ms, 100);
}

TEST(SimulatorOptions, RefusesMalformedFaultSwitches) {
  for (const std::vector<std::string_view>& args :
       std::vector<std::vector<std::string_view>>{{"--never", ""},
                                                  {"--never", "256"},
                                                  {"--never", "1,,2"},
                                                  {"--never", "x"},
                                                  {"--delay", "-5"},
                                                  {"--delay", "5:"},
                                                  {"--chunk", "0"},
                                                  {"--short", "x:1"},
                                                  {"--bogus-length", "4294967296"},
                                                  {"--push-debug", "no interval"},
                                                  {"--push-debug", "text:0"},
                                                  {"--login-refuse", "nocode"},
                                                  {"--login-malformed=yes"}}) {
    EXPECT_NE(Parse(args).error, "") << args.front() << " " << (args.size() > 1 ? args[1] : "");
  }
}

TEST(SimulatorOptions, TypeSets) {
  EXPECT_EQ(ParseTypeSet("all")->count(), 256u);
  const auto some = ParseTypeSet("0,11,255");
  ASSERT_TRUE(some);
  EXPECT_EQ(some->count(), 3u);
  EXPECT_TRUE((*some)[0] && (*some)[11] && (*some)[255]);
  EXPECT_FALSE(ParseTypeSet("ALL"));
  EXPECT_FALSE(ParseTypeSet("1,"));
  EXPECT_FALSE(ParseTypeSet("-1"));
}

}  // namespace
}  // namespace moravex::sim
