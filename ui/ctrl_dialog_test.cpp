// Dispatch rules of CtrlDialog: maps before slots, command and notify keys, layout on
// WM_SIZE, modal and modeless endings, and the shared procedures.
#include "ui/ctrl_dialog.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "platform/window_messages.h"
#include "ui/ctrl_button.h"
#include "ui/testing/test_dialogs.h"
#include "ui/window_registry.h"

namespace orvex::ui {
namespace {

using namespace platform;

WParam MakeWParam(uint16_t low, uint16_t high) {
  return static_cast<WParam>(low) | (static_cast<WParam>(high) << 16);
}

// Counts what reaches the dialog's own slots.
class ProbeDialog : public CtrlDialog {
 public:
  ProbeDialog() : CtrlDialog(900) {}
  bool OnCommand(MessageRecord& record) override {
    ++commands_seen;
    return CtrlDialog::OnCommand(record);
  }
  bool OnDeferredRequest(WParam value) override {
    deferred = value;
    return true;
  }
  bool OnNotify(MessageRecord&) override {
    ++notifies_seen;
    return false;
  }
  int commands_seen = 0;
  int notifies_seen = 0;
  WParam deferred = 0;
};

struct Calls {
  int bare = 0;
  int whole = 0;
};

intptr_t CountBare(void* calls, MessageRecord&) {
  return ++static_cast<Calls*>(calls)->bare;
}
intptr_t CountWhole(void* calls, MessageRecord&) {
  return ++static_cast<Calls*>(calls)->whole;
}
intptr_t AnswerHighByteOnly(MessageRecord&) {
  return 0x100;
}
intptr_t AnswerZero(MessageRecord&) {
  return 0;
}

MessageRecord Command(WParam wparam) {
  return MessageRecord{nullptr, WM_COMMAND, wparam, 0};
}

TEST(CtrlDialogDispatch, BareCommandIdWinsOverIdPlusNotificationCode) {
  ProbeDialog dialog;
  Calls calls;
  dialog.maps().commands[40005] = MessageHandler::WithObject(&calls, CountBare);
  dialog.maps().commands[MakeWParam(40005, 1)] = MessageHandler::WithObject(&calls, CountWhole);
  MessageRecord record = Command(MakeWParam(40005, 1));
  EXPECT_EQ(dialog.DialogProc(record), 1);
  EXPECT_EQ(calls.bare, 1);
  EXPECT_EQ(calls.whole, 0);
  EXPECT_EQ(dialog.commands_seen, 0);

  // Without the bare key, the key with the notification code is used.
  dialog.maps().commands.erase(40005);
  record = Command(MakeWParam(40005, 1));
  EXPECT_EQ(dialog.DialogProc(record), 1);
  EXPECT_EQ(calls.whole, 1);
  // A different notification code matches neither key and reaches OnCommand.
  record = Command(MakeWParam(40005, 2));
  EXPECT_EQ(dialog.DialogProc(record), 0);
  EXPECT_EQ(dialog.commands_seen, 1);
}

TEST(CtrlDialogDispatch, OnlyTheFirstHandlerFoundIsAskedAndItsLowByteCounts) {
  ProbeDialog dialog;
  Calls calls;
  // The bare handler answers 0x100: its low byte is 0, so the message is not handled and
  // the whole-wParam handler is not tried either.
  dialog.maps().commands[7] = MessageHandler::Plain(AnswerHighByteOnly);
  dialog.maps().commands[MakeWParam(7, 3)] = MessageHandler::WithObject(&calls, CountWhole);
  MessageRecord record = Command(MakeWParam(7, 3));
  EXPECT_EQ(dialog.DialogProc(record), 0);
  EXPECT_EQ(calls.whole, 0);
  EXPECT_EQ(dialog.commands_seen, 1);

  // A fixed result replaces the handler's own answer.
  dialog.maps().commands[7] = MessageHandler::Plain(AnswerZero).Fixed(1);
  record = Command(MakeWParam(7, 3));
  EXPECT_EQ(dialog.DialogProc(record), 1);
  EXPECT_EQ(dialog.commands_seen, 1);
}

TEST(CtrlDialogDispatch, MessageMapComesBeforeCommandMapAndSlots) {
  ProbeDialog dialog;
  Calls calls;
  dialog.maps().messages[WM_COMMAND] = MessageHandler::WithObject(&calls, CountWhole);
  dialog.maps().commands[5] = MessageHandler::WithObject(&calls, CountBare);
  MessageRecord record = Command(5);
  EXPECT_EQ(dialog.DialogProc(record), 1);
  EXPECT_EQ(calls.whole, 1);
  EXPECT_EQ(calls.bare, 0);
}

TEST(CtrlDialogDispatch, NotifyMapTriesAnyCodeBeforeTheExactCode) {
  ProbeDialog dialog;
  Calls calls;
  dialog.maps().notifies[{12, 0}] = MessageHandler::WithObject(&calls, CountBare);
  dialog.maps().notifies[{12, 77}] = MessageHandler::WithObject(&calls, CountWhole);
  NotifyHeader header{nullptr, 12, 77};
  MessageRecord record{nullptr, WM_NOTIFY, 12, reinterpret_cast<LParam>(&header)};
  EXPECT_EQ(dialog.DialogProc(record), 1);
  EXPECT_EQ(calls.bare, 1);
  EXPECT_EQ(calls.whole, 0);

  dialog.maps().notifies.erase({12, 0});
  EXPECT_EQ(dialog.DialogProc(record), 1);
  EXPECT_EQ(calls.whole, 1);

  header.id_from = 13;  // no handler for this control: the OnNotify slot
  EXPECT_EQ(dialog.DialogProc(record), 0);
  EXPECT_EQ(dialog.notifies_seen, 1);
}

TEST(CtrlDialogDispatch, DeferredRequestReachesItsSlotWithWParam) {
  ProbeDialog dialog;
  MessageRecord record{nullptr, WM_USER + 306, 4242, 0};
  EXPECT_EQ(dialog.DialogProc(record), 1);
  EXPECT_EQ(dialog.deferred, 4242u);
  MessageRecord unknown{nullptr, WM_USER + 999, 1, 1};
  EXPECT_EQ(dialog.DialogProc(unknown), 0);
}

// A dialog built from the layout template with children for controls 10 to 13.
class LayoutDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    moves.set_layout_flags(8 | 4);
    grows.set_layout_flags(8 | 4 | 2 | 1);
    wider.set_layout_flags(8 | 4 | 2);
    taller.set_layout_flags(4 | 1);
    for (CtrlBase* child :
         std::initializer_list<CtrlBase*>{&still, &moves, &grows, &plain, &wider, &taller}) {
      dialog.AddChild(child);
    }
    window = dialog.CreateFromTemplate(test::LayoutDialog(), nullptr);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (IsWindowAlive(window)) DestroyWindowObject(window);
  }
  static Rect RectOf(const CtrlBase& child) {
    Rect rect;
    EXPECT_TRUE(ChildRectInParent(child.window(), &rect));
    return rect;
  }

  CtrlDialog dialog{901};
  CtrlButton still{10};
  CtrlButton moves{11};
  CtrlBase grows{12};
  CtrlButton plain{13};
  CtrlBase wider{14};
  CtrlBase taller{15};
  WindowHandle window = nullptr;
};

TEST_F(LayoutDialogTest, InitDialogBindsEveryChildAndTheDialog) {
  EXPECT_EQ(dialog.window(), window);
  EXPECT_EQ(WindowRegistry::Instance().Find(window), &dialog);
  EXPECT_EQ(still.window(), DialogItem(window, 10));
  EXPECT_EQ(grows.window(), DialogItem(window, 12));
  EXPECT_EQ(plain.parent(), window);
  EXPECT_EQ(WindowRegistry::Instance().Find(moves.window()), &moves);
  EXPECT_EQ(WindowClassName(window), "#32770");
  EXPECT_EQ(dialog.layout().children.size(), 6u);
}

TEST_F(LayoutDialogTest, ResizeMovesAndGrowsChildrenByTheirFlags) {
  const Rect still_before = RectOf(still), moves_before = RectOf(moves);
  const Rect grows_before = RectOf(grows), plain_before = RectOf(plain);
  const Rect wider_before = RectOf(wider), taller_before = RectOf(taller);
  Rect client;
  ASSERT_TRUE(ClientRect(window, &client));
  ASSERT_TRUE(ResizeClientArea(window, client.right + 10, client.bottom + 20));

  const Rect moved = RectOf(moves);
  EXPECT_EQ(moved.left, moves_before.left + 10);
  EXPECT_EQ(moved.top, moves_before.top + 20);
  EXPECT_EQ(moved.right, moves_before.right + 10);
  EXPECT_EQ(moved.bottom, moves_before.bottom + 20);

  const Rect grown = RectOf(grows);
  EXPECT_EQ(grown.left, grows_before.left);
  EXPECT_EQ(grown.top, grows_before.top);
  EXPECT_EQ(grown.right, grows_before.right + 10);
  EXPECT_EQ(grown.bottom, grows_before.bottom + 20);

  // Each stretch bit acts on its own axis: 2 widens (and the bottom edge shifts it
  // down), 1 heightens (and without the right-edge bit it stays put sideways).
  const Rect widened = RectOf(wider);
  EXPECT_EQ(widened.left, wider_before.left);
  EXPECT_EQ(widened.right, wider_before.right + 10);
  EXPECT_EQ(widened.top, wider_before.top + 20);
  EXPECT_EQ(widened.bottom, wider_before.bottom + 20);
  const Rect heightened = RectOf(taller);
  EXPECT_EQ(heightened.left, taller_before.left);
  EXPECT_EQ(heightened.right, taller_before.right);
  EXPECT_EQ(heightened.top, taller_before.top);
  EXPECT_EQ(heightened.bottom, taller_before.bottom + 20);

  const Rect still_after = RectOf(still), plain_after = RectOf(plain);
  EXPECT_EQ(still_after.left, still_before.left);
  EXPECT_EQ(still_after.bottom, still_before.bottom);
  EXPECT_EQ(plain_after.top, plain_before.top);
  EXPECT_EQ(dialog.layout().width, client.right + 10);
  EXPECT_EQ(dialog.layout().height, client.bottom + 20);

  // The same size again changes nothing.
  ASSERT_TRUE(ResizeClientArea(window, client.right + 10, client.bottom + 20));
  EXPECT_EQ(RectOf(moves).left, moved.left);
}

TEST_F(LayoutDialogTest, CancelDestroysAModelessDialogAndUnbindsEverything) {
  SendWindowMessage(window, WM_COMMAND, static_cast<WParam>(IDCANCEL), 0);
  EXPECT_FALSE(IsWindowAlive(window));
  EXPECT_EQ(dialog.window(), nullptr);
  EXPECT_EQ(still.window(), nullptr);
  EXPECT_EQ(WindowRegistry::Instance().Find(window), nullptr);
}

TEST_F(LayoutDialogTest, CloseBecomesACancelCommand) {
  SendWindowMessage(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowAlive(window));  // IDCANCEL is posted, not sent
  EXPECT_TRUE(test::PumpUntil([&] { return !IsWindowAlive(window); }, 5000));
}

TEST_F(LayoutDialogTest, UnwrappedWindowsGetTheDefaults) {
  // A dialog message for a dialog without a wrapper answers 0.
  dialog.Detach();
  EXPECT_EQ(SharedDialogProc(window, WM_COMMAND, static_cast<WParam>(IDCANCEL), 0), 0);
  EXPECT_TRUE(IsWindowAlive(window));
  // A window message for a window without a wrapper goes to the default procedure,
  // which keeps the text and destroys on WM_CLOSE.
  WindowHandle child = DialogItem(window, 13);
  const char text[] = "by default";
  EXPECT_NE(SharedWindowProc(child, WM_SETTEXT, 0, reinterpret_cast<LParam>(text)), 0);
  EXPECT_EQ(WindowText(child), "by default");
  SharedWindowProc(child, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowAlive(child));
}

// Ends itself from OnInitDialog with the command given.
class SelfEndingDialog : public CtrlDialog {
 public:
  explicit SelfEndingDialog(uint32_t message, WParam command)
      : CtrlDialog(902), message_(message), command_(command) {}
  bool OnInitDialog() override {
    const bool result = CtrlDialog::OnInitDialog();
    PostWindowMessage(window_, message_, command_, 0);
    return result;
  }
  bool OnCancel() override {
    ++cancels;
    return CtrlDialog::OnCancel();
  }
  int cancels = 0;

 private:
  uint32_t message_;
  WParam command_;
};

TEST(CtrlDialogModal, CancelEndsTheModalDialogWithZero) {
  SelfEndingDialog dialog(WM_COMMAND, static_cast<WParam>(IDCANCEL));
  EXPECT_EQ(dialog.RunModal(test::LayoutDialog(), nullptr), 0);
  EXPECT_EQ(dialog.cancels, 1);
  EXPECT_EQ(dialog.window(), nullptr);
  EXPECT_FALSE(dialog.shown_modally());
}

TEST(CtrlDialogModal, OkEndsTheModalDialogWithOne) {
  SelfEndingDialog dialog(WM_COMMAND, static_cast<WParam>(IDOK));
  EXPECT_EQ(dialog.RunModal(test::LayoutDialog(), nullptr), 1);
  EXPECT_EQ(dialog.cancels, 0);
}

TEST(CtrlDialogModal, CloseEndsTheModalDialogThroughCancel) {
  SelfEndingDialog dialog(WM_CLOSE, 0);
  EXPECT_EQ(dialog.RunModal(test::LayoutDialog(), nullptr), 0);
  EXPECT_EQ(dialog.cancels, 1);
}

TEST(CtrlDialogCreation, DialogBeingCreatedServesWhenNoWrapperIsPassed) {
  CtrlDialog dialog(903);
  CtrlButton ok(13);
  dialog.AddChild(&ok);
  DialogBeingCreated() = &dialog;
  const WindowHandle window =
      CreateDialogFromTemplate(CurrentModule(), test::LayoutDialog(), nullptr, SharedDialogProc, 0);
  DialogBeingCreated() = nullptr;
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(dialog.window(), window);
  EXPECT_EQ(ok.window(), DialogItem(window, 13));
  EXPECT_EQ(ok.owner_maps(), &dialog.maps());
  SendWindowMessage(window, WM_COMMAND, static_cast<WParam>(IDOK), 0);
  EXPECT_FALSE(IsWindowAlive(window));
  EXPECT_EQ(ok.window(), nullptr);
}

TEST(CtrlDialogCreation, WithoutAnyWrapperNothingIsBound) {
  const size_t before = WindowRegistry::Instance().size();
  const WindowHandle window =
      CreateDialogFromTemplate(CurrentModule(), test::LayoutDialog(), nullptr, SharedDialogProc, 0);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowRegistry::Instance().size(), before);
  EXPECT_EQ(WindowRegistry::Instance().Find(window), nullptr);
  DestroyWindowObject(window);
}

}  // namespace
}  // namespace orvex::ui
