// Frame assembly of the TCP client threads, driven piece by piece without a
// socket: every split, every malformed frame and the buffer limit are exact
// here, whatever the scheduler does.
#include "transport/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

using State = FrameAssembler::State;

// The largest record area whose frame fits the buffer whole.
constexpr size_t kLargestLen = kFrameBufferSize - kFrameOverhead;
static_assert(kLargestLen == 32759);

class FrameTest : public ::testing::Test {
 protected:
  // Hands `piece` to the assembler as one recv() would.
  State Receive(const Buf& piece) {
    EXPECT_LE(piece.size(), frame_->Room());
    std::memcpy(frame_->WritePointer(), piece.data(), piece.size());
    return frame_->OnReceived(piece.size());
  }
  Buf Head(size_t n) const {
    return Buf(frame_->Buffer(), frame_->Buffer() + n);
  }
  // 32 KB: on the heap, as the client threads keep it.
  std::unique_ptr<FrameAssembler> frame_ = std::make_unique<FrameAssembler>();
};

// A request frame of `len` record-area bytes: an empty batch padded with a
// byte pattern, so that the trailer is the only place len and 0xFADE occur.
Buf PaddedFrame(size_t len) {
  Buf area(len, 0);
  for (size_t i = 4; i < len; ++i) area[i] = static_cast<uint8_t>(0x11 + i % 7);
  return Frame(area);
}

Buf Slice(const Buf& b, size_t from, size_t to) {
  return Buf(b.begin() + static_cast<std::ptrdiff_t>(from),
             b.begin() + static_cast<std::ptrdiff_t>(to));
}

TEST_F(FrameTest, CompletesAFrameReceivedInOnePiece) {
  Buf area = Cat({ReadRecord(0x3304, 4), End()});
  EXPECT_EQ(Receive(Frame(area)), State::kComplete);
  EXPECT_EQ(frame_->RecordLength(), area.size());
  EXPECT_EQ(Buf(frame_->RecordArea(), frame_->RecordArea() + area.size()),
            area);
  EXPECT_EQ(frame_->RecordArea(), frame_->Buffer() + kFrameHeaderSize);
}

// Every split of a frame whose first piece holds at least the 8 bytes:
// incomplete until the last byte is in, then complete, and the pieces lie
// end to end in the buffer.
TEST_F(FrameTest, CompletesOnlyWithTheLastByteWhereverTheFrameIsSplit) {
  const Buf frame = Frame(Cat({ReadRecord(0x3304, 4), End()}));
  for (size_t cut = kFrameMinFirstPiece; cut < frame.size(); ++cut) {
    SCOPED_TRACE(cut);
    frame_->Reset();
    EXPECT_EQ(Receive(Slice(frame, 0, cut)), State::kIncomplete);
    EXPECT_EQ(frame_->Room(), kFrameBufferSize - cut);
    EXPECT_EQ(Receive(Slice(frame, cut, frame.size())), State::kComplete);
    EXPECT_EQ(Head(frame.size()), frame);
  }
}

TEST_F(FrameTest, CompletesAFrameArrivingInManySmallPieces) {
  const Buf frame = PaddedFrame(100);
  EXPECT_EQ(Receive(Slice(frame, 0, 8)), State::kIncomplete);
  for (size_t at = 8; at + 1 < frame.size(); ++at) {
    ASSERT_EQ(Receive(Slice(frame, at, at + 1)), State::kIncomplete) << at;
  }
  EXPECT_EQ(Receive(Slice(frame, frame.size() - 1, frame.size())),
            State::kComplete);
  EXPECT_EQ(frame_->RecordLength(), 100u);
}

// A first piece shorter than 8 bytes is dropped and cleared, and the next
// piece is taken as the start of a new frame.
TEST_F(FrameTest, DropsAShortFirstPieceAndStartsAfreshWithTheNext) {
  const Buf frame = Frame(Cat({ReadRecord(0x3304, 4), End()}));
  for (size_t n = 1; n < kFrameMinFirstPiece; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(Receive(Slice(frame, 0, n)), State::kDropped);
    EXPECT_EQ(frame_->WritePointer(), frame_->Buffer());
    EXPECT_EQ(frame_->Room(), kFrameBufferSize);
    EXPECT_EQ(Head(n), Buf(n, 0));
  }
  // What follows a dropped start is taken as a frame start of its own: here
  // its first two bytes read as type 0, so it is dropped as well.
  EXPECT_EQ(Receive(Slice(frame, 5, frame.size())), State::kDropped);
  EXPECT_EQ(Receive(frame), State::kComplete);
}

TEST_F(FrameTest, DropsAFirstPieceOfATypeClientsDoNotSend) {
  for (uint16_t type : {0, 2, 4, 5, 0x0101, 0xFFFF}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(Receive(Frame(End(), type)), State::kDropped);
    EXPECT_EQ(frame_->Room(), kFrameBufferSize);
    EXPECT_EQ(Head(12), Buf(12, 0));
  }
  EXPECT_EQ(Receive(Frame(End())), State::kComplete);
}

// A trailer whose length echo or mark is wrong never completes the frame,
// also when more bytes follow; once the buffer is full there is no room.
TEST_F(FrameTest, AWrongTrailerNeverCompletes) {
  struct Case {
    const char* name;
    size_t byte;  // trailer byte changed
  };
  const Buf good = Frame(End());
  for (const Case& c :
       {Case{"length echo low byte", 8}, Case{"length echo high byte", 9},
        Case{"mark low byte", 10}, Case{"mark high byte", 11}}) {
    SCOPED_TRACE(c.name);
    frame_->Reset();
    Buf bad = good;
    bad[c.byte] ^= 0x01;
    EXPECT_EQ(Receive(bad), State::kIncomplete);
    // The correct trailer arriving later is past the frame's end: no help.
    EXPECT_EQ(Receive(Slice(good, 8, 12)), State::kIncomplete);
    const Buf filler(frame_->Room(), 0xAA);
    EXPECT_EQ(Receive(filler), State::kIncomplete);
    EXPECT_EQ(frame_->Room(), 0u);
  }
}

// A length echo that matches a different len is still wrong.
TEST_F(FrameTest, ALengthEchoOfAnotherLenNeverCompletes) {
  Buf frame = Frame(Cat({ReadRecord(0x3304, 4), End()}));  // len 24
  StoreU16(frame.data() + 2, 20);  // len 20: its trailer would be at 24
  EXPECT_EQ(Receive(frame), State::kIncomplete);
}

TEST_F(FrameTest, TheLargestFrameThatFitsCompletes) {
  const Buf frame = PaddedFrame(kLargestLen);
  ASSERT_EQ(frame.size(), kFrameBufferSize);
  EXPECT_EQ(Receive(Slice(frame, 0, 4096)), State::kIncomplete);
  EXPECT_EQ(Receive(Slice(frame, 4096, frame.size())), State::kComplete);
  EXPECT_EQ(frame_->RecordLength(), kLargestLen);
  EXPECT_EQ(frame_->Room(), 0u);
}

// One byte more and the frame cannot fit: the buffer fills with all but its
// last byte, and then there is no room left to receive it.
TEST_F(FrameTest, AFrameOneByteTooLargeNeverCompletes) {
  const Buf frame = PaddedFrame(kLargestLen + 1);
  ASSERT_EQ(frame.size(), kFrameBufferSize + 1);
  EXPECT_EQ(Receive(Slice(frame, 0, kFrameBufferSize)), State::kIncomplete);
  EXPECT_EQ(frame_->Room(), 0u);
}

TEST_F(FrameTest, ALenBeyondTheBufferNeverCompletes) {
  Buf start = {1, 0, 0, 0, 0, 0, 0, 0};
  StoreU16(start.data() + 2, 0xFFFF);
  EXPECT_EQ(Receive(start), State::kIncomplete);
  EXPECT_EQ(Receive(Buf(frame_->Room(), 0xDE)), State::kIncomplete);
  EXPECT_EQ(frame_->Room(), 0u);
}

// Bytes after a complete frame in the same piece do not stop it; Reset
// discards them with the frame and leaves the buffer clear.
// Frames sent back to back: what follows a complete frame is the start of
// the next, whether it is whole already, cut anywhere (even inside its
// header), or of a type that is dropped with everything after it.
TEST_F(FrameTest, BytesAfterACompleteFrameStartTheNext) {
  const Buf frame = Frame(Cat({WriteRecord(0x66C0, {7}), End()}));
  const Buf next = Frame(Cat({ReadRecord(0x3304, 4), End()}));
  for (size_t cut = 0; cut <= next.size(); ++cut) {
    SCOPED_TRACE(cut);
    frame_->Reset();
    ASSERT_EQ(Receive(Cat({frame, Slice(next, 0, cut)})), State::kComplete);
    EXPECT_EQ(frame_->RecordLength(), frame.size() - kFrameOverhead);
    if (cut == next.size()) {
      ASSERT_EQ(frame_->Next(), State::kComplete);
    } else {
      ASSERT_EQ(frame_->Next(), State::kIncomplete);
      EXPECT_EQ(frame_->Room(), kFrameBufferSize - cut);
      ASSERT_EQ(Receive(Slice(next, cut, next.size())), State::kComplete);
    }
    EXPECT_EQ(Head(next.size()), next);
    EXPECT_EQ(frame_->Type(), kFrameTypeRequest);
    EXPECT_EQ(frame_->Next(), State::kIncomplete);
    EXPECT_EQ(frame_->Room(), kFrameBufferSize);
    EXPECT_EQ(Head(frame.size() + next.size()),
              Buf(frame.size() + next.size(), 0));
  }
  // An unknown type after a frame takes the rest of the piece with it.
  ASSERT_EQ(Receive(Cat({frame, Frame(End(), 2), next})), State::kComplete);
  EXPECT_EQ(frame_->Next(), State::kDropped);
  EXPECT_EQ(frame_->Room(), kFrameBufferSize);
  EXPECT_EQ(Receive(next), State::kComplete);
}

// After a served frame the next one assembles from a clean buffer, even a
// shorter one whose trailer lies inside the old frame.
TEST_F(FrameTest, ResetClearsTheOldFrameSoNoStaleTrailerCompletes) {
  const Buf big = PaddedFrame(40);
  EXPECT_EQ(Receive(big), State::kComplete);
  frame_->Reset();
  EXPECT_EQ(Head(big.size()), Buf(big.size(), 0));
  const Buf small = Frame(End());
  EXPECT_EQ(Receive(Slice(small, 0, 8)), State::kIncomplete);
  EXPECT_EQ(Receive(Slice(small, 8, 12)), State::kComplete);
}

TEST_F(FrameTest, ReplyOfAServedFrameIsTheFrameWithTypeTwo) {
  const Buf area = Cat({ReadRecord(0x3304, 4), End()});
  const Buf frame = Frame(area);
  ASSERT_EQ(Receive(frame), State::kComplete);
  const size_t n = frame_->MakeReply(1, area.size());
  EXPECT_EQ(n, frame.size());
  EXPECT_EQ(Head(n), Frame(area, 2));
}

// len larger than the batch it carries: the reply is cut to 8 + the used
// length, keeps len as received and so ends inside the record area, without
// the trailer.
TEST_F(FrameTest, ReplyIsCutToTheUsedLengthWhenLenIsLarger) {
  const Buf area = Cat({End(), Buf{0x21, 0x22, 0x23, 0x24, 0x25, 0x26}});
  const Buf frame = Frame(area);  // len 10, used length 4
  ASSERT_EQ(Receive(frame), State::kComplete);
  const size_t n = frame_->MakeReply(1, 4);
  EXPECT_EQ(n, 12u);
  EXPECT_EQ(Head(n), (Buf{2, 0, 10, 0, 0, 0, 0, 0, 0x21, 0x22, 0x23, 0x24}));
}

TEST_F(FrameTest, ReplyOfAFailedBatchIsTheSingleByteZero) {
  ASSERT_EQ(Receive(Frame(Cat({Buf{9, 0, 0, 0}, End()}))), State::kComplete);
  EXPECT_EQ(frame_->MakeReply(0, 4), 1u);
  EXPECT_EQ(Head(1), Buf{0});
}

}  // namespace
}  // namespace tarvos::testing
