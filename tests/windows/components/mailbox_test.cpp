// The message window's mailbox: one wake runs all that is queued, in order,
// through a nested message loop and the window's end; a wake that cannot be
// posted (a full queue, which Wine never reports) leaves nothing behind.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "windows/components/message_window.h"
#include "tests/windows/pump.h"

namespace moravex::windows {
namespace {

using test::DoEvents;
using test::PumpUntil;

bool refuse_wakes = false;
int wakes = 0;

BOOL WINAPI CountedPost(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (refuse_wakes) return FALSE;
  ++wakes;
  return PostMessageW(hwnd, message, wparam, lparam);
}

TEST(MailboxTest, OneWakeRunsAllInOrderThroughANestedLoopAndTheWindowsEnd) {
  wakes = 0;
  std::shared_ptr<MessageWindow> window = MessageWindow::Create(&CountedPost);
  const std::shared_ptr<Mailbox> mailbox = window->RemoteMailbox();
  std::string ran;
  ASSERT_TRUE(mailbox->Post([&] {
    ran += 'a';
    mailbox->Post([&] { ran += 'd'; });
    DoEvents();  // a modal loop: b, c and d run in here
  }));
  mailbox->Post([&] {
    ran += 'b';
    window.reset();  // the component's end, inside its own mail
  });
  mailbox->Post([&] { ran += 'c'; });
  EXPECT_EQ(1, wakes);
  EXPECT_TRUE(PumpUntil([&] { return ran.size() >= 4; }));
  PumpUntil([] { return false; }, 50);
  EXPECT_EQ("abcd", ran);
  EXPECT_EQ(2, wakes);
  EXPECT_FALSE(mailbox->Post([&] { ran += 'x'; }));  // the window is gone
}

TEST(MailboxTest, AWakeThatCannotBePostedTakesItsCallbackBackAndNothingRunsLate) {
  std::shared_ptr<MessageWindow> window = MessageWindow::Create(&CountedPost);
  const std::shared_ptr<Mailbox> mailbox = window->RemoteMailbox();
  std::string ran;
  const auto capture = std::make_shared<int>();
  refuse_wakes = true;
  EXPECT_FALSE(mailbox->Post([&, capture] { ran += 'x'; }));
  EXPECT_EQ(1, capture.use_count());  // dropped, not kept
  refuse_wakes = false;
  EXPECT_TRUE(mailbox->Post([&] { ran += 'a'; }));
  refuse_wakes = true;  // a wake is pending: no post needed
  EXPECT_TRUE(mailbox->Post([&] { ran += 'b'; }));
  refuse_wakes = false;
  EXPECT_TRUE(PumpUntil([&] { return ran.size() >= 2; }));
  EXPECT_TRUE(mailbox->Post([&] { ran += 'c'; }));
  EXPECT_TRUE(PumpUntil([&] { return ran.size() >= 3; }));
  EXPECT_EQ("abc", ran);
}

}  // namespace
}  // namespace moravex::windows
