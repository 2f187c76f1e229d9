#include "host/ModuleDialogs.h"

#include "platform/platform.h"

namespace qw::host {

namespace {

constexpr int32_t textSize = 2048;       // more than any control of the module holds
constexpr uint32_t comboTextSize = 256;  // more than any genre name

}  // namespace

#if defined(_WIN32)

ModuleDialogs::ModuleDialogs(const Module&) {}

bool ModuleDialogs::available() const { return true; }

DialogWindow ModuleDialogs::find(const char* caption) const { return sys::findWindow(caption); }

std::string ModuleDialogs::text(DialogWindow dialog, int32_t id) const {
    char buffer[textSize] = "";
    sys::getItemText(dialog, id, buffer, textSize);
    return buffer;
}

bool ModuleDialogs::setText(DialogWindow dialog, int32_t id, const std::string& text) const {
    return sys::setItemText(dialog, id, text.c_str());
}

bool ModuleDialogs::enabled(DialogWindow dialog, int32_t id) const { return sys::isItemEnabled(dialog, id); }

void ModuleDialogs::click(DialogWindow dialog, int32_t id) const { sys::clickItem(dialog, id); }

int32_t ModuleDialogs::comboCount(DialogWindow dialog, int32_t id) const { return sys::comboCount(dialog, id); }

int32_t ModuleDialogs::comboSelection(DialogWindow dialog, int32_t id) const { return sys::comboSelection(dialog, id); }

bool ModuleDialogs::comboSetSelection(DialogWindow dialog, int32_t id, int32_t index) const {
    return sys::comboSetSelection(dialog, id, index) != sys::comboError;
}

bool ModuleDialogs::comboItemText(DialogWindow dialog, int32_t id, int32_t index, std::string* text) const {
    char buffer[comboTextSize] = "";
    if (sys::comboItemText(dialog, id, index, buffer, comboTextSize) < 0) return false;
    *text = buffer;
    return true;
}

bool ModuleDialogs::runUntilClosed(DialogWindow dialog) const { return sys::runUntilDestroyed(dialog); }

#else

ModuleDialogs::ModuleDialogs(const Module& module) {
    if (module.headlessDialogs == nullptr) return;
    const HeadlessDialogTable* offered = module.headlessDialogs();
    // The calls come in a fixed order and later tables only append: the last
    // one used here being present means all of them are.
    if (QW_HEADLESS_DIALOGS_HAVE(offered, comboItemText)) table = offered;
}

bool ModuleDialogs::available() const { return table != nullptr; }

DialogWindow ModuleDialogs::find(const char* caption) const {
    return table != nullptr ? table->findWindow(caption) : nullptr;
}

std::string ModuleDialogs::text(DialogWindow dialog, int32_t id) const {
    char buffer[textSize] = "";
    table->getItemText(dialog, id, buffer, textSize);
    return buffer;
}

bool ModuleDialogs::setText(DialogWindow dialog, int32_t id, const std::string& text) const {
    return table->setItemText(dialog, id, text.c_str()) != 0;
}

bool ModuleDialogs::enabled(DialogWindow dialog, int32_t id) const { return table->isItemEnabled(dialog, id) != 0; }

void ModuleDialogs::click(DialogWindow dialog, int32_t id) const { table->clickItem(dialog, id); }

int32_t ModuleDialogs::comboCount(DialogWindow dialog, int32_t id) const { return table->comboCount(dialog, id); }

int32_t ModuleDialogs::comboSelection(DialogWindow dialog, int32_t id) const {
    return table->comboSelection(dialog, id);
}

bool ModuleDialogs::comboSetSelection(DialogWindow dialog, int32_t id, int32_t index) const {
    return table->comboSetSelection(dialog, id, index) != QW_COMBO_ERROR;
}

bool ModuleDialogs::comboItemText(DialogWindow dialog, int32_t id, int32_t index, std::string* text) const {
    char buffer[comboTextSize] = "";
    if (table->comboItemText(dialog, id, index, buffer, comboTextSize) < 0) return false;
    *text = buffer;
    return true;
}

// Nobody can work a headless dialog.
bool ModuleDialogs::runUntilClosed(DialogWindow) const { return false; }

#endif

}  // namespace qw::host
