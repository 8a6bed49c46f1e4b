// CtrlBase and CtrlButton on real controls: subclassing with pre- and post-maps,
// owner-draw routing through the dialog, the owner-drawn button style.
#include "ui/ctrl_base.h"

#include <gtest/gtest.h>

#include "platform/window_messages.h"
#include "resources/corvane_resources.h"
#include "ui/ctrl_button.h"
#include "ui/ctrl_dialog.h"
#include "ui/testing/test_dialogs.h"
#include "ui/window_registry.h"

namespace orvex::ui {
namespace {

using namespace platform;

int post_calls = 0;
intptr_t CountPost(MessageRecord&) {
  return ++post_calls;
}
intptr_t Swallow(MessageRecord&) {
  return 0;
}

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    post_calls = 0;
    plain.RequestSubclass();
    dialog.AddChild(&plain);
    dialog.AddChild(&button);
    window = dialog.CreateFromTemplate(test::LayoutDialog(), nullptr);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (IsWindowAlive(window)) DestroyWindowObject(window);
  }
  CtrlDialog dialog{905};
  CtrlBase plain{13};
  CtrlButton button{10};
  WindowHandle window = nullptr;
};

TEST_F(ControlsTest, ASubclassedControlRunsPreMapThenItsOwnProcedureThenPostMap) {
  ASSERT_NE(plain.window(), nullptr);
  plain.SetPostHandler(WM_SETTEXT, MessageHandler::Plain(CountPost));
  const char first[] = "first";
  EXPECT_NE(SendWindowMessage(plain.window(), WM_SETTEXT, 0, reinterpret_cast<LParam>(first)), 0);
  EXPECT_EQ(WindowText(plain.window()), "first");  // the control's own procedure ran
  EXPECT_EQ(post_calls, 1);

  // A pre-handler that reports "handled" keeps the message from the control.
  plain.SetPreHandler(WM_SETTEXT, MessageHandler::Plain(Swallow).Fixed(1));
  const char second[] = "second";
  EXPECT_EQ(SendWindowMessage(plain.window(), WM_SETTEXT, 0, reinterpret_cast<LParam>(second)), 1);
  EXPECT_EQ(WindowText(plain.window()), "first");
  EXPECT_EQ(post_calls, 1);

  // The default pre-handler serves messages without an entry of their own.
  plain.SetDefaultPreHandler(MessageHandler::Plain(Swallow).Fixed(1));
  EXPECT_EQ(SendWindowMessage(plain.window(), WM_GETTEXTLENGTH, 0, 0), 1);
}

TEST_F(ControlsTest, AnUnsubclassedWrapperLeavesTheControlAlone) {
  button.SetPreHandler(WM_SETTEXT, MessageHandler::Plain(Swallow).Fixed(1));
  const char text[] = "renamed";
  SendWindowMessage(button.window(), WM_SETTEXT, 0, reinterpret_cast<LParam>(text));
  EXPECT_EQ(WindowText(button.window()), "renamed");
}

TEST_F(ControlsTest, OwnerDrawIconMakesTheButtonOwnerDrawn) {
  EXPECT_NE(WindowStyle(button.window()) & BS_TYPEMASK, BS_OWNERDRAW);
  EXPECT_EQ(button.GetIconImage(), nullptr);
  button.SetOwnerDrawIcon(nullptr);
  EXPECT_EQ(WindowStyle(button.window()) & BS_TYPEMASK, BS_OWNERDRAW);
  EXPECT_NE(WindowStyle(button.window()) & WS_CHILD, 0u);  // the rest of the style stays
}

TEST_F(ControlsTest, DetachUnbindsAndWindowCallsThenDoNothing) {
  const WindowHandle control = button.window();
  button.Detach();
  EXPECT_EQ(button.window(), nullptr);
  EXPECT_EQ(button.parent(), nullptr);
  EXPECT_EQ(WindowRegistry::Instance().Find(control), nullptr);
  EXPECT_EQ(button.SetIcon(nullptr, true), 0);
  EXPECT_EQ(button.GetIcon(true), nullptr);
  EXPECT_FALSE(button.StoreData());
  // Attaching again binds the same control.
  EXPECT_TRUE(button.AttachToParent(window));
  EXPECT_EQ(button.window(), control);
  EXPECT_FALSE(button.AttachToParent(nullptr));
}

// Records the owner-draw calls routed to it by control id.
class DrawProbe : public CtrlBase {
 public:
  explicit DrawProbe(int id) : CtrlBase(id) {}
  bool OnDrawItem(MessageRecord&) override { return ++draws, true; }
  bool OnMeasureItem(MessageRecord&) override { return ++measures, true; }
  int draws = 0;
  int measures = 0;
};

TEST(CtrlDialogOwnerDraw, DrawAndMeasureGoToTheChildWithThatId) {
  CtrlDialog dialog(906);
  DrawProbe first(21), second(22);
  dialog.AddChild(&first);
  dialog.AddChild(&second);
  MessageRecord draw{nullptr, WM_DRAWITEM, 22, 0};
  EXPECT_EQ(dialog.DialogProc(draw), 1);
  MessageRecord measure{nullptr, WM_MEASUREITEM, 21, 0};
  EXPECT_EQ(dialog.DialogProc(measure), 1);
  MessageRecord nobody{nullptr, WM_DRAWITEM, 23, 0};
  EXPECT_EQ(dialog.DialogProc(nobody), 0);
  EXPECT_EQ(first.draws, 0);
  EXPECT_EQ(second.draws, 1);
  EXPECT_EQ(first.measures, 1);
  EXPECT_EQ(second.measures, 0);
}

TEST(CtrlDialogIcons, TheBigIconSetIsTheOneReadBack) {
  resources::InstallCorvaneResources();
  const IconHandle icon = LoadIconResource(CurrentModule(), resources::kLargeIconId);
  ASSERT_NE(icon, nullptr);
  CtrlDialog dialog(907);
  const WindowHandle window = dialog.CreateFromTemplate(test::LayoutDialog(), nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(dialog.GetIcon(true), nullptr);
  dialog.SetIcon(icon, true);
  EXPECT_EQ(dialog.GetIcon(true), icon);
  DestroyWindowObject(window);
}

}  // namespace
}  // namespace orvex::ui
