// The program's resources as the running program sees them: dialog 103, menu 104 and
// icons 107/108, from the compiled resources on Windows and the table on POSIX.
#include "resources/corvane_resources.h"

#include <gtest/gtest.h>

#include "platform/window.h"
#include "platform/window_messages.h"
#include "platform/window_resources.h"

namespace orvex::resources {
namespace {

using namespace platform;

intptr_t AcceptProc(WindowHandle, uint32_t message, WParam, LParam) {
  return message == WM_INITDIALOG ? 1 : 0;
}

class CorvaneResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallCorvaneResources(); }
};

TEST_F(CorvaneResourcesTest, MainDialogCarriesCaptionAndControls) {
  const WindowHandle dialog =
      CreateDialogFromResource(CurrentModule(), kMainDialogId, nullptr, AcceptProc, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(WindowText(dialog), "Orvex RTD Bus");
  EXPECT_EQ(WindowClassName(dialog), "#32770");
  EXPECT_FALSE(IsWindowShown(dialog));  // the template has no WS_VISIBLE
  EXPECT_EQ(DialogItemTitle(dialog, kVersionTextId), "3.0.0002.0002");
  EXPECT_EQ(DialogItemTitle(dialog, IDOK), "OK");
  EXPECT_EQ(WindowClassName(DialogItem(dialog, IDOK)), "Button");
  EXPECT_NE(WindowStyle(DialogItem(dialog, IDOK)) & WS_TABSTOP, 0u);
  EXPECT_TRUE(SetDialogItemTitle(dialog, kVersionTextId, "4.6.0.460"));
  EXPECT_EQ(DialogItemTitle(dialog, kVersionTextId), "4.6.0.460");
  EXPECT_EQ(DialogItem(dialog, 1030), nullptr);
  DestroyWindowObject(dialog);
}

// On Windows this compares corvane.rc with the C++ table; on POSIX both are the table.
TEST_F(CorvaneResourcesTest, TheTableDescribesTheSameDialogAsTheResource) {
  const WindowHandle compiled =
      CreateDialogFromResource(CurrentModule(), kMainDialogId, nullptr, AcceptProc, 0);
  const WindowHandle described =
      CreateDialogFromTemplate(CurrentModule(), MainDialogTemplate(), nullptr, AcceptProc, 0);
  ASSERT_NE(compiled, nullptr);
  ASSERT_NE(described, nullptr);
  EXPECT_EQ(WindowText(compiled), WindowText(described));
  Rect a, b;
  ASSERT_TRUE(ClientRect(compiled, &a));
  ASSERT_TRUE(ClientRect(described, &b));
  EXPECT_EQ(a.right, b.right);
  EXPECT_EQ(a.bottom, b.bottom);
  for (int id : {IDOK, kVersionTextId}) {
    Rect ra, rb;
    ASSERT_TRUE(ChildRectInParent(DialogItem(compiled, id), &ra));
    ASSERT_TRUE(ChildRectInParent(DialogItem(described, id), &rb));
    EXPECT_EQ(ra.left, rb.left);
    EXPECT_EQ(ra.top, rb.top);
    EXPECT_EQ(ra.right, rb.right);
    EXPECT_EQ(ra.bottom, rb.bottom);
    EXPECT_EQ(DialogItemTitle(compiled, id), DialogItemTitle(described, id));
  }
  DestroyWindowObject(compiled);
  DestroyWindowObject(described);
}

TEST_F(CorvaneResourcesTest, TrayMenuHoldsAboutSeparatorExit) {
  const MenuHandle menu = LoadMenuResource(CurrentModule(), kTrayMenuId);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(MenuItemCount(menu), 1);
  EXPECT_EQ(MenuItemText(menu, 0), "TrayPopup");
  const MenuHandle popup = SubMenuAt(menu, 0);
  ASSERT_NE(popup, nullptr);
  ASSERT_EQ(MenuItemCount(popup), 3);
  EXPECT_EQ(MenuItemText(popup, 0), "&About");
  EXPECT_EQ(MenuItemCommand(popup, 0), kAboutCommand);
  EXPECT_EQ(MenuItemCommand(popup, 1), 0u);  // separator
  EXPECT_EQ(MenuItemText(popup, 2), "E&xit");
  EXPECT_EQ(MenuItemCommand(popup, 2), kExitCommand);
  EXPECT_EQ(SubMenuAt(menu, 1), nullptr);
  // The default item by position, as the tray makes it bold.
  EXPECT_TRUE(SetMenuDefault(popup, 0, true));
  EXPECT_EQ(MenuDefault(popup, true), 0u);
  EXPECT_EQ(MenuDefault(popup, false), kAboutCommand);
  EXPECT_TRUE(DestroyMenuObject(menu));
  EXPECT_EQ(LoadMenuResource(CurrentModule(), 105), nullptr);
}

TEST_F(CorvaneResourcesTest, BothIconsLoad) {
  EXPECT_NE(LoadIconResource(CurrentModule(), kLargeIconId), nullptr);
  EXPECT_NE(LoadIconResource(CurrentModule(), kSmallIconId), nullptr);
  EXPECT_EQ(LoadIconResource(CurrentModule(), 109), nullptr);
}

}  // namespace
}  // namespace orvex::resources
