#include "resources/corvane_resources.h"

#include "platform/window_messages.h"

namespace orvex::resources {

using namespace platform;

namespace {

const DialogControlTemplate kMainControls[] = {
    {"BUTTON", "OK", IDOK, 109, 6, 56, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {"STATIC", "Version:", -1, 6, 8, 28, 8, SS_LEFT | WS_GROUP},
    {"STATIC", "3.0.0002.0002", kVersionTextId, 35, 8, 54, 8, SS_LEFT | WS_GROUP},
};

const DialogTemplate kMainDialog{kMainDialogCaption,
                                 "MS Shell Dlg",
                                 8,
                                 DS_SETFONT | DS_MODALFRAME | DS_FIXEDSYS | WS_CAPTION,
                                 22,
                                 17,
                                 175,
                                 31,
                                 kMainControls,
                                 3};

const MenuItemTemplate kTrayItems[] = {
    {"&About", kAboutCommand},
    {nullptr, 0},
    {"E&xit", kExitCommand},
};
const MenuTemplate kTrayMenu{"TrayPopup", kTrayItems, 3};

const DialogResource kDialogs[] = {{kMainDialogId, &kMainDialog}};
const MenuResource kMenus[] = {{kTrayMenuId, &kTrayMenu}};
const int kIcons[] = {kLargeIconId, kSmallIconId};

const ResourceTable kTable{kDialogs, 1, kMenus, 1, kIcons, 2};

}  // namespace

const DialogTemplate& MainDialogTemplate() {
  return kMainDialog;
}

const ResourceTable& CorvaneResources() {
  return kTable;
}

void InstallCorvaneResources() {
  InstallResourceTable(&kTable);
}

}  // namespace orvex::resources
