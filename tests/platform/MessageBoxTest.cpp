// MessageBoxW: an installed handler answers; without one the box answers its default button.
#include <gtest/gtest.h>

#include "platform/msgbox.h"

namespace {

TEST(MessageBoxTest, WithoutHandlerAnswersTheDefaultButton) {
  struct Row { UINT type; int answer; } const rows[] = {
      {MB_OK, IDOK},
      {MB_OKCANCEL, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
      {MB_RETRYCANCEL, IDRETRY},
      {0x0000000E, IDOK},  // an unknown button set
  };
  SetMessageBoxHandler({});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    EXPECT_EQ(MessageBoxW(nullptr, L"text", L"caption", row.type), row.answer);
  }
}

TEST(MessageBoxTest, InstalledHandlerSeesTheBoxAndAnswers) {
  std::wstring seenText, seenCaption;
  UINT seenType = 0;
  SetMessageBoxHandler([&](const std::wstring& text, const std::wstring& caption, UINT type) {
    seenText = text;
    seenCaption = caption;
    seenType = type;
    return IDNO;
  });
  EXPECT_EQ(MessageBoxW(nullptr, L"Open the drawer?", nullptr, MB_YESNO), IDNO);
  EXPECT_EQ(seenText, L"Open the drawer?");
  EXPECT_EQ(seenCaption, L"");
  EXPECT_EQ(seenType, MB_YESNO);
  MessageBoxHandler previous = SetMessageBoxHandler({});
  EXPECT_TRUE(static_cast<bool>(previous));
  EXPECT_EQ(MessageBoxW(nullptr, L"x", L"y", MB_OK), IDOK);
}

}  // namespace
