#include "app/message_dialog_text.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageDialogText, CaptionsNameTheKind) {
  EXPECT_STREQ(MessageDialogCaption(MessageKind::Warning), "Warning");
  EXPECT_STREQ(MessageDialogCaption(MessageKind::Error), "Error");
  EXPECT_STREQ(MessageDialogCaption(MessageKind::Information), "Information");
  EXPECT_STREQ(MessageDialogCaption(MessageKind::Confirmation), "Confirm");
}

TEST(MessageDialogText, OkIsBothDefaultAndCancel) {
  auto buttons = MessageDialogButtons(MessageButtons::Ok);
  ASSERT_EQ(buttons.size(), 1u);
  EXPECT_STREQ(buttons[0].Caption, "OK");
  EXPECT_EQ(buttons[0].Result, DialogResult::Ok);
  EXPECT_TRUE(buttons[0].IsDefault);
  EXPECT_TRUE(buttons[0].IsCancel);
}

TEST(MessageDialogText, YesIsDefaultAndNoIsCancel) {
  auto buttons = MessageDialogButtons(MessageButtons::YesNo);
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_STREQ(buttons[0].Caption, "&Yes");
  EXPECT_EQ(int(buttons[0].Result), 6);
  EXPECT_TRUE(buttons[0].IsDefault);
  EXPECT_FALSE(buttons[0].IsCancel);
  EXPECT_STREQ(buttons[1].Caption, "&No");
  EXPECT_EQ(int(buttons[1].Result), 7);
  EXPECT_FALSE(buttons[1].IsDefault);
  EXPECT_TRUE(buttons[1].IsCancel);
}

TEST(MessageDialogText, LoneBreaksBecomeCrLfAndDoubleCrLeavesAnEmptyLine) {
  struct Case {
    const char* Message;
    const char* Drawn;
  } cases[] = {
      {"one line", "one line"},     {"a\rb", "a\r\nb"}, {"a\r\rb", "a\r\n\r\nb"},
      {"a\r\nb", "a\r\nb"},         {"a\nb", "a\r\nb"}, {"a\n\rb", "a\r\n\r\nb"},
      {"end\r", "end\r\n"},         {"\r", "\r\n"},     {"", ""},
      {"tab\tstays", "tab\tstays"},
  };
  for (const Case& c : cases) EXPECT_EQ(MessageDisplayText(c.Message), c.Drawn) << c.Message;
}

// A message fits the room or scrolls within it: 20,000 lines, or a path no
// line break can split, leave the buttons on the screen.
TEST(MessageDialogText, TextLargerThanTheRoomScrollsWithinIt) {
  const Extent room{900, 600};
  struct Case {
    Extent Text;
    Extent Box;
    bool Scrolls;
  } cases[] = {
      {{300, 100}, {300, 100}, false}, {{900, 600}, {900, 600}, false}, {{300, 520000}, {320, 600}, true},
      {{1500, 13}, {900, 13}, true},   {{890, 601}, {900, 600}, true},
  };
  for (const Case& c : cases) {
    const MessageTextBox box = FitMessageText(c.Text, room, 20);
    EXPECT_EQ(box.Size.Width, c.Box.Width) << c.Text.Width << "x" << c.Text.Height;
    EXPECT_EQ(box.Size.Height, c.Box.Height) << c.Text.Width << "x" << c.Text.Height;
    EXPECT_EQ(box.Scrolls, c.Scrolls) << c.Text.Width << "x" << c.Text.Height;
  }
}

TEST(MessageDialogText, AccessKeyMarksAreRemoved) {
  EXPECT_EQ(WithoutAccessKeys("&Yes"), "Yes");
  EXPECT_EQ(WithoutAccessKeys("OK"), "OK");
  EXPECT_EQ(WithoutAccessKeys("Save && E&xit"), "Save & Exit");
  EXPECT_EQ(WithoutAccessKeys("trailing&"), "trailing");
}

TEST(MessageDialogText, ClipboardTextOfAConfirmation) {
  std::string text = MessageDialogClipboardText("Confirm", "Sure?\r\rReally?", {"&Yes", "&No"});
  EXPECT_EQ(text,
            "---------------------------\r\n"
            "Confirm\r\n"
            "---------------------------\r\n"
            "Sure?\r\rReally?\r\n"
            "---------------------------\r\n"
            "Yes   No   \r\n"
            "---------------------------\r\n");
}

TEST(MessageDialogText, ClipboardTextOfAnInformation) {
  EXPECT_EQ(MessageDialogClipboardText("Information", "Changes successfully applied.", {"OK"}),
            "---------------------------\r\nInformation\r\n---------------------------\r\n"
            "Changes successfully applied.\r\n---------------------------\r\nOK   \r\n"
            "---------------------------\r\n");
}

}  // namespace
