#include <gtest/gtest.h>

#include "tools/simulator/faults.h"
#include "tools/simulator/sim_commands.h"

namespace moravex::sim {
namespace {

const Bytes kPayload{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

DeliveryPlan Plan(const FaultConfig& faults, std::uint8_t type = 5, const Bytes& payload = kPayload) {
  auto plan = PlanDelivery(faults, type, payload);
  EXPECT_TRUE(plan.has_value());
  return plan.value_or(DeliveryPlan{});
}

Bytes PayloadOf(const Bytes& frame) { return Bytes(frame.begin() + 6, frame.end()); }

TEST(SimulatorFaults, WithoutFaultsTheAnswerIsOneWellFramedWrite) {
  const DeliveryPlan plan = Plan(FaultConfig{});
  EXPECT_EQ(plan.bytes, EncodeFrame(5, kPayload));
  EXPECT_EQ(plan.bytes[1], 0);
  EXPECT_EQ(ReadInt32(plan.bytes.data() + 2), 10);
  EXPECT_EQ(plan.delay_ms, 0);
  EXPECT_EQ(plan.chunk_bytes, 0u);
  EXPECT_EQ(plan.after, AfterSend::kNothing);
}

TEST(SimulatorFaults, FaultsTouchOnlyTheirTypes) {
  FaultConfig faults;
  ASSERT_EQ(ApplyFaultOption(faults, "never", "4"), "");
  ASSERT_EQ(ApplyFaultOption(faults, "delay", "300:2,3"), "");
  ASSERT_EQ(ApplyFaultOption(faults, "empty", "6"), "");
  EXPECT_FALSE(PlanDelivery(faults, 4, kPayload));
  EXPECT_EQ(Plan(faults, 2).delay_ms, 300);
  EXPECT_EQ(Plan(faults, 5).delay_ms, 0);
  EXPECT_EQ(Plan(faults, 6).bytes, EncodeHeader(6, 0));
  EXPECT_EQ(Plan(faults, 7).bytes, EncodeFrame(7, kPayload));
}

TEST(SimulatorFaults, PayloadFaultsKeepTheFrameConsistent) {
  FaultConfig faults;
  ASSERT_EQ(ApplyFaultOption(faults, "short", "3:5"), "");
  EXPECT_EQ(PayloadOf(Plan(faults).bytes), (Bytes{1, 2, 3}));
  EXPECT_EQ(ReadInt32(Plan(faults).bytes.data() + 2), 3);
  ASSERT_EQ(ApplyFaultOption(faults, "short", "50:5"), "");  // more than there is: all of it
  EXPECT_EQ(PayloadOf(Plan(faults).bytes), kPayload);
  ASSERT_EQ(ApplyFaultOption(faults, "tail", "2:5"), "");
  EXPECT_EQ(PayloadOf(Plan(faults).bytes), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0}));
  EXPECT_EQ(ReadInt32(Plan(faults).bytes.data() + 2), 12);
  ASSERT_EQ(ApplyFaultOption(faults, "empty", "5"), "");  // empty, then the tail: only the tail remains
  EXPECT_EQ(PayloadOf(Plan(faults).bytes), (Bytes{0, 0}));
}

TEST(SimulatorFaults, FramingFaultsBreakTheStreamAsAnnounced) {
  FaultConfig mid;
  ASSERT_EQ(ApplyFaultOption(mid, "close-mid", "5"), "");
  const DeliveryPlan cut = Plan(mid);
  EXPECT_EQ(ReadInt32(cut.bytes.data() + 2), 10);
  EXPECT_EQ(PayloadOf(cut.bytes), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(cut.after, AfterSend::kClose);

  FaultConfig bogus;
  ASSERT_EQ(ApplyFaultOption(bogus, "bogus-length", "100001:5"), "");
  EXPECT_EQ(Plan(bogus).bytes, EncodeHeader(5, 100001));
  EXPECT_EQ(Plan(bogus).after, AfterSend::kMute);
  ASSERT_EQ(ApplyFaultOption(bogus, "bogus-length", "-1"), "");
  EXPECT_EQ(Plan(bogus, 3).bytes, (Bytes{3, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(SimulatorFaults, DeliveryFaultsTravelWithThePlan) {
  FaultConfig faults;
  ASSERT_EQ(ApplyFaultOption(faults, "chunk", "4"), "");
  ASSERT_EQ(ApplyFaultOption(faults, "delay", "120"), "");
  const DeliveryPlan plan = Plan(faults, 0);
  EXPECT_EQ(plan.chunk_bytes, 4u);
  EXPECT_EQ(plan.delay_ms, 120);
  EXPECT_EQ(plan.bytes, EncodeFrame(0, kPayload));
}

TEST(SimulatorSimCommands, RecognisesOnlyThePrefixedDebugText) {
  EXPECT_EQ(SimCommandOf("!sim never 4"), "never 4");
  EXPECT_FALSE(SimCommandOf("!sim"));
  EXPECT_FALSE(SimCommandOf("hello !sim never 4"));
  EXPECT_FALSE(SimCommandOf("!SIM never 4"));
}

TEST(SimulatorSimCommands, ChangeOneConnectionAndResetToTheDefaults) {
  FaultConfig defaults;
  ASSERT_EQ(ApplyFaultOption(defaults, "delay", "50:2"), "");
  FaultConfig connection = defaults;
  EXPECT_EQ(RunSimCommand("never 4", connection, defaults), "!sim ok");
  EXPECT_EQ(RunSimCommand("--delay 500:5", connection, defaults), "!sim ok");
  EXPECT_EQ(RunSimCommand("push-debug hello there: friend:250", connection, defaults), "!sim ok");
  EXPECT_EQ(RunSimCommand("login-malformed", connection, defaults), "!sim ok");
  EXPECT_TRUE(connection.never[4]);
  EXPECT_EQ(connection.delay_ms[5], 500);
  EXPECT_EQ(connection.delay_ms[2], 50);
  ASSERT_TRUE(connection.push_debug);
  EXPECT_EQ(connection.push_debug->text, "hello there: friend");
  EXPECT_TRUE(connection.login_malformed);
  EXPECT_FALSE(defaults.never[4]);

  EXPECT_EQ(RunSimCommand(" reset ", connection, defaults), "!sim ok");
  EXPECT_FALSE(connection.never[4]);
  EXPECT_EQ(connection.delay_ms[5], 0);
  EXPECT_EQ(connection.delay_ms[2], 50);
  EXPECT_FALSE(connection.push_debug);
}

TEST(SimulatorSimCommands, ErrorsLeaveTheConnectionUnchanged) {
  const FaultConfig defaults;
  FaultConfig connection;
  EXPECT_EQ(RunSimCommand("frobnicate 4", connection, defaults).rfind("!sim error: ", 0), 0u);
  EXPECT_EQ(RunSimCommand("never", connection, defaults).rfind("!sim error: ", 0), 0u);
  EXPECT_EQ(RunSimCommand("never 4,x", connection, defaults).rfind("!sim error: ", 0), 0u);
  EXPECT_EQ(RunSimCommand("login-malformed now", connection, defaults).rfind("!sim error: ", 0), 0u);
  EXPECT_EQ(RunSimCommand("port 80", connection, defaults).rfind("!sim error: ", 0), 0u);
  EXPECT_EQ(RunSimCommand("", connection, defaults).rfind("!sim error: ", 0), 0u);
  EXPECT_FALSE(connection.never.any());
  EXPECT_FALSE(connection.login_malformed);
}

}  // namespace
}  // namespace moravex::sim
