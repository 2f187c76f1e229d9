// The module's load entry: it only keeps the instance handle, which the
// file-information dialog needs to find its template.
#include <windows.h>

#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    // The first nonzero handle stays; later calls do not replace it.
    qw::sys::setModuleInstance(instance);
    return TRUE;
}
