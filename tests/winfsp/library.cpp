// A stand-in for the WinFsp user-mode library with the four exports the load
// check asks for. Built three times: as it should be, with
// ZELKORA_SERVICE_VERSION 0 (the driver does not answer), and with
// ZELKORA_OMIT_DISPATCHER (one export missing).
#include <windows.h>

#ifndef ZELKORA_SERVICE_VERSION
#define ZELKORA_SERVICE_VERSION 0x00020001
#endif

extern "C" {

__declspec(dllexport) LONG FspFileSystemCreate() { return 0; }
#ifndef ZELKORA_OMIT_DISPATCHER
__declspec(dllexport) LONG FspFileSystemStartDispatcher() { return 0; }
#endif
__declspec(dllexport) BOOLEAN FspFileSystemAcquireDirectoryBuffer() { return FALSE; }
__declspec(dllexport) LONG FspFsctlServiceVersion(UINT32* version) {
    *version = ZELKORA_SERVICE_VERSION;
    return 0;
}

}
