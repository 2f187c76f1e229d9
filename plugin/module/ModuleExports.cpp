// The functions the host finds by name in SQqw4.sqp.
#include "plugin/PluginEntry.h"
#include "plugin/SettingsPage.h"
#include "quillwave/quillwave.h"
#include "recorder/Recorder.h"

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

QW_EXPORT int32_t QW_CALL CreateRecorderPluginInterface(void** object) {
    return qw::createRecorderPluginInterface(object);
}

}  // extern "C"
