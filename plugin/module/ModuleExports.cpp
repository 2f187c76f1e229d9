// The functions the host finds by name in SQqw4.sqp.
#include "platform/platform.h"
#include "plugin/PluginEntry.h"
#include "plugin/SettingsPage.h"
#include "quillwave/dialog.h"
#include "quillwave/quillwave.h"
#include "recorder/Recorder.h"
#include "tag/FileInfoDialog.h"

#if defined(_WIN32)
#define QW_EXPORT __declspec(dllexport)
#else
#define QW_EXPORT __attribute__((visibility("default")))
#endif

#if !defined(_WIN32)
// The headless dialog calls with C signatures, over this module's copy of the
// platform layer.
extern "C" {

static_assert(QW_COMBO_ERROR == qw::sys::comboError, "combo-box failure value");
static_assert(QW_KEY_RETURN == qw::sys::keyReturn && QW_KEY_ESCAPE == qw::sys::keyEscape, "key codes");

static QwWindow dialogFindWindow(const char* caption) { return qw::sys::findWindow(caption); }
static int32_t dialogIsWindowVisible(QwWindow window) { return qw::sys::isWindowVisible(window); }
static uint32_t dialogGetItemText(QwWindow dialog, int32_t id, char* buffer, int32_t size) {
    return qw::sys::getItemText(dialog, id, buffer, size);
}
static int32_t dialogSetItemText(QwWindow dialog, int32_t id, const char* text) {
    return qw::sys::setItemText(dialog, id, text);
}
static int32_t dialogIsItemEnabled(QwWindow dialog, int32_t id) { return qw::sys::isItemEnabled(dialog, id); }
static void dialogClickItem(QwWindow dialog, int32_t id) { qw::sys::clickItem(dialog, id); }
static int32_t dialogComboCount(QwWindow dialog, int32_t id) { return qw::sys::comboCount(dialog, id); }
static int32_t dialogComboSelection(QwWindow dialog, int32_t id) { return qw::sys::comboSelection(dialog, id); }
static int32_t dialogComboSetSelection(QwWindow dialog, int32_t id, int32_t index) {
    return qw::sys::comboSetSelection(dialog, id, index);
}
static int32_t dialogComboItemText(QwWindow dialog, int32_t id, int32_t index, char* buffer, uint32_t size) {
    return qw::sys::comboItemText(dialog, id, index, buffer, size);
}
static int32_t dialogDestroyWindow(QwWindow window) { return qw::sys::destroyWindow(window); }
static int32_t dialogDeliverKey(QwWindow window, uint32_t key) { return qw::sys::deliverKey(window, key); }
static void dialogSetMessageBoxHandler(void (*handler)(void*, const char*, const char*), void* context) {
    qw::sys::setMessageBoxObserver(handler, context);
}

static const HeadlessDialogTable headlessDialogTable = {
    sizeof(HeadlessDialogTable),
    dialogFindWindow,
    dialogIsWindowVisible,
    dialogGetItemText,
    dialogSetItemText,
    dialogIsItemEnabled,
    dialogClickItem,
    dialogComboCount,
    dialogComboSelection,
    dialogComboSetSelection,
    dialogComboItemText,
    dialogDestroyWindow,
    dialogDeliverKey,
    dialogSetMessageBoxHandler,
};

}  // extern "C"
#endif

extern "C" {

QW_EXPORT const PluginDescriptor* QW_CALL Query(void) { return qw::query(); }
QW_EXPORT int32_t QW_CALL Initialise(PlayerContext* context) { return qw::initialise(context); }
QW_EXPORT int32_t QW_CALL Shutdown(PlayerContext* context) { return qw::shutdown(context); }

QW_EXPORT int32_t QW_CALL Configure(ConfigRequest* request) { return qw::configure(request); }

QW_EXPORT int32_t QW_CALL ExtendedInfo(uint32_t unused, uint32_t* result, PlayerContext* context) {
    return qw::extendedInfo(unused, result, context);
}

QW_EXPORT int32_t QW_CALL CreateRecorderPluginInterface(void** object) {
    return qw::createRecorderPluginInterface(object);
}

#if !defined(_WIN32)
// Linux only, and not an entry point (hence no QW_CALL, which marks those;
// Linux has one calling convention): the table over the module's headless
// dialog manager, through which a host reads and works the dialogs the module
// opens.  Under Windows the system's window manager serves every module.
QW_EXPORT const HeadlessDialogTable* HeadlessDialogs(void) { return &headlessDialogTable; }
#endif

}  // extern "C"
