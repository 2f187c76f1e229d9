// The functions the host finds by name in SQqw4.sqp.
#include "platform/platform.h"
#include "plugin/PluginEntry.h"
#include "plugin/SettingsPage.h"
#include "quillwave/quillwave.h"
#include "recorder/Recorder.h"
#include "tag/FileInfoDialog.h"

#if defined(_WIN32)
#define QW_EXPORT __declspec(dllexport)
#else
#define QW_EXPORT __attribute__((visibility("default")))
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
// Linux builds only, and not one of the entry points: the module's headless
// dialog manager, so that a host can read and drive the dialogs the module
// opens (under Windows the system's window manager is shared already).
QW_EXPORT void* HeadlessDialogManager(void) { return qw::sys::dialogManager(); }
#endif

}  // extern "C"
