#include "platform/resource_table.h"

#include <atomic>

#include "installed_resources.h"

namespace orvex::platform {

namespace {
std::atomic<const ResourceTable*> installed{nullptr};
}

void InstallResourceTable(const ResourceTable* table) {
  installed.store(table);
}

namespace posix {

const DialogTemplate* InstalledDialog(int id) {
  const ResourceTable* table = installed.load();
  if (table == nullptr) return nullptr;
  for (size_t i = 0; i < table->dialog_count; ++i) {
    if (table->dialogs[i].id == id) return table->dialogs[i].dialog;
  }
  return nullptr;
}

const MenuTemplate* InstalledMenu(int id) {
  const ResourceTable* table = installed.load();
  if (table == nullptr) return nullptr;
  for (size_t i = 0; i < table->menu_count; ++i) {
    if (table->menus[i].id == id) return table->menus[i].menu;
  }
  return nullptr;
}

bool HasInstalledIcon(int id) {
  const ResourceTable* table = installed.load();
  if (table == nullptr) return false;
  for (size_t i = 0; i < table->icon_count; ++i) {
    if (table->icon_ids[i] == id) return true;
  }
  return false;
}

}  // namespace posix
}  // namespace orvex::platform
