#include <gtest/gtest.h>

#include "tools/simulator/frame_reader.h"

namespace moravex::sim {
namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(SimulatorFrameReader, ReassemblesFramesAcrossAnySplit) {
  const Bytes stream = Concat({EncodeFrame(5, Bytes{' ', ' ', ' ', 'I', 'B', 'M', 0xF4, 1, 0, 0}), EncodeFrame(3, {}),
                               EncodeFrame(0, Bytes{'h', 'i'})});
  for (std::size_t piece = 1; piece <= stream.size(); ++piece) {
    FrameReader reader;
    std::vector<Frame> frames;
    for (std::size_t pos = 0; pos < stream.size(); pos += piece) {
      const std::size_t count = std::min(piece, stream.size() - pos);
      ASSERT_EQ(reader.Feed(std::span(stream).subspan(pos, count), frames), FrameReader::Status::kOk);
    }
    ASSERT_EQ(frames.size(), 3u) << "piece " << piece;
    EXPECT_EQ(frames[0].type, 5);
    EXPECT_EQ(frames[0].payload.size(), 10u);
    EXPECT_EQ(ReadInt32(frames[0].payload.data() + 6), 500);
    EXPECT_EQ(frames[1].type, 3);
    EXPECT_TRUE(frames[1].payload.empty());
    EXPECT_EQ(frames[2].payload, (Bytes{'h', 'i'}));
  }
}

TEST(SimulatorFrameReader, ZeroLengthFrameEndingTheDataIsCompleteAtOnce) {
  FrameReader reader;
  std::vector<Frame> frames;
  ASSERT_EQ(reader.Feed(EncodeHeader(4, 0), frames), FrameReader::Status::kOk);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].type, 4);
}

TEST(SimulatorFrameReader, SecondHeaderByteIsKeptButNotInterpreted) {
  FrameReader reader;
  std::vector<Frame> frames;
  Bytes header = EncodeHeader(2, 0);
  header[1] = 0xAB;
  ASSERT_EQ(reader.Feed(header, frames), FrameReader::Status::kOk);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].second_byte, 0xAB);
}

TEST(SimulatorFrameReader, AcceptsTheLimitAndRejectsBeyondItForGood) {
  {
    FrameReader reader;
    std::vector<Frame> frames;
    const Bytes frame = EncodeFrame(0, Bytes(100000, 'x'));
    ASSERT_EQ(reader.Feed(frame, frames), FrameReader::Status::kOk);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].payload.size(), 100000u);
  }
  for (const std::int32_t length : {100001, -1, -100000}) {
    FrameReader reader;
    std::vector<Frame> frames;
    const Bytes stream = Concat({EncodeFrame(3, {}), EncodeHeader(0, length), EncodeFrame(4, {})});
    EXPECT_EQ(reader.Feed(stream, frames), FrameReader::Status::kBadLength) << length;
    EXPECT_EQ(frames.size(), 1u);  // frames before the bad header still count
    EXPECT_EQ(reader.Feed(EncodeFrame(4, {}), frames), FrameReader::Status::kBadLength);
    EXPECT_EQ(frames.size(), 1u);
  }
}

}  // namespace
}  // namespace moravex::sim
