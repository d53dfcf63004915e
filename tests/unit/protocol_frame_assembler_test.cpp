// The frame assembler on bytes alone: any split of the stream, the payload
// limit, lengths it refuses, and payloads kept in place while nested reads go on.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "protocol/frame_assembler.h"
#include "tests/support/fake_socket.h"
#include "tests/support/wire_bytes.h"

namespace moravex {
namespace {

struct Message {
  uint8_t type;
  Bytes payload;
  bool operator==(const Message&) const = default;
};

class Assembling {
 public:
  Assembling() { socket->SetState(kSocketConnected); }
  // Every message the waiting bytes complete.
  std::vector<Message> Drain() {
    std::vector<Message> out;
    while (assembler.Collect(*socket, levels)) out.push_back(Current());
    return out;
  }
  Message Current() const {
    const ReceiveProgress& p = assembler.Progress();
    return {assembler.MessageType(), Bytes(p.PayloadBuffer.begin(), p.PayloadBuffer.begin() + p.PayloadLength)};
  }
  std::shared_ptr<FakeSocket> socket = std::make_shared<FakeSocket>();
  FrameAssembler assembler;
  DispatchLevels levels;
};

const Bytes kStream = Concat({Frame(0, AnsiBytes("abc")), Frame(4, AnsiBytes("09:30:00")), Frame(7, {})});
const std::vector<Message> kMessages = {{0, AnsiBytes("abc")}, {4, AnsiBytes("09:30:00")}, {7, {}}};

TEST(FrameAssembler, EverySplitOfTheStreamGivesTheSameMessagesAndEndsAwaitingAHeader) {
  for (size_t first = 0; first <= kStream.size(); ++first) {
    for (size_t second = 0; first + second <= kStream.size(); ++second) {
      Assembling a;
      std::vector<Message> seen;
      size_t at = 0;
      for (size_t piece : {first, second, kStream.size() - first - second}) {
        a.socket->Arrive(Bytes(kStream.begin() + static_cast<std::ptrdiff_t>(at),
                               kStream.begin() + static_cast<std::ptrdiff_t>(at + piece)));
        at += piece;
        for (const Message& m : a.Drain()) seen.push_back(m);
        // Nothing is left behind for a later notification but an unfinished message.
        ASSERT_EQ(a.socket->BytesReceived(), 0);
      }
      ASSERT_EQ(seen, kMessages) << "cut at " << first << " and " << first + second;
      const ReceiveProgress& p = a.assembler.Progress();
      ASSERT_EQ(p.ReceiveState, ReceiveStates::AwaitingHeader);
      ASSERT_EQ(p.HeaderBytesReceived, 0);
    }
  }
}

TEST(FrameAssembler, TheLimitIsInclusiveAndALongerOrNegativeLengthIsRefusedAtItsHeader) {
  {
    Assembling a;
    const Bytes largest(static_cast<size_t>(kMaxPayloadLength), 0x41);
    a.socket->Arrive(Frame(5, largest));
    ASSERT_EQ(a.Drain(), (std::vector<Message>{{5, largest}}));
    // The byte past the payload is a zero the decoders may rely on.
    EXPECT_EQ(a.assembler.Progress().PayloadBuffer.at(largest.size()), 0);
  }
  {
    Assembling a;
    a.socket->Arrive(Concat({Header(5, kMaxPayloadLength + 1), Bytes(10, 1)}));
    EXPECT_THROW(a.assembler.Collect(*a.socket, a.levels), BogusPayloadLength);
    EXPECT_EQ(a.socket->BytesReceived(), 10) << "nothing past the header is read";
  }
  {
    Assembling a;
    a.socket->Arrive(Header(5, -1));
    try {
      a.assembler.Collect(*a.socket, a.levels);
      FAIL() << "a negative length was accepted";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.Description(), "Subscript out of range");
    }
  }
}

TEST(FrameAssembler, AnOuterPayloadStaysPutWhileNestedMessagesAreCollectedAndResetStartsAfresh) {
  Assembling a;
  a.socket->Arrive(Concat({Frame(0, AnsiBytes("outer")), Frame(0, AnsiBytes("in!")), Frame(0, AnsiBytes("x"))}));
  ASSERT_TRUE(a.assembler.Collect(*a.socket, a.levels));
  const ReceiveProgress& p = a.assembler.Progress();
  {
    const DispatchLevels::Scope outer(a.levels, p.PayloadBuffer, static_cast<size_t>(p.PayloadLength));
    const auto outer_payload = a.levels.Payload();
    ASSERT_TRUE(a.assembler.Collect(*a.socket, a.levels));
    {
      const DispatchLevels::Scope inner(a.levels, p.PayloadBuffer, static_cast<size_t>(p.PayloadLength));
      EXPECT_EQ(Bytes(a.levels.Payload().begin(), a.levels.Payload().end()), AnsiBytes("in!"));
      ASSERT_TRUE(a.assembler.Collect(*a.socket, a.levels));
      EXPECT_EQ(a.Current(), (Message{0, AnsiBytes("x")}));
    }
    EXPECT_EQ(a.levels.Payload().data(), outer_payload.data());
    EXPECT_EQ(Bytes(outer_payload.begin(), outer_payload.end()), AnsiBytes("outer"));
  }

  // Half a message, then a reset: the next bytes are a new header.
  a.socket->Arrive(Concat({Header(4, 8), AnsiBytes("09:")}));
  EXPECT_FALSE(a.assembler.Collect(*a.socket, a.levels));
  EXPECT_EQ(p.ReceiveState, ReceiveStates::AwaitingPayload);
  a.assembler.Reset();
  EXPECT_EQ(p.ReceiveState, ReceiveStates::AwaitingHeader);
  EXPECT_EQ(p.PayloadLength, 0);
  a.socket->Arrive(Frame(3, AnsiBytes("12/09")));
  EXPECT_EQ(a.Drain(), (std::vector<Message>{{3, AnsiBytes("12/09")}}));
}

}  // namespace
}  // namespace moravex
