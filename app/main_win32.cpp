#include <windows.h>
#include <delayimp.h>

#include "app/application_win32.h"
#include "app/entry_win32.h"
#include "core/owners_win32.h"
#include "delay_imports.h"

// The delay-load helper of the runtime (libmingwex); its header does not declare it.
extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* slot);

namespace {

template <typename T>
const T* at_rva(DWORD rva) {
    return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(::GetModuleHandleW(nullptr)) + rva);
}

// True when the DLL loads and exports every function the setup takes from it.
// The search is the delay-load helper's own, LoadLibrary with the default
// directories (System32 only by now, side-by-side comctl32 v6 included), so
// what passes here is what the helper binds.
bool delay_import_complete(const IMAGE_DELAYLOAD_DESCRIPTOR& descriptor) {
    const zelkora::UniqueLibrary module(::LoadLibraryExA(at_rva<char>(descriptor.DllNameRVA), nullptr, 0));
    if (!module) return false;
    for (const auto* entry = at_rva<IMAGE_THUNK_DATA>(descriptor.ImportNameTableRVA);
         entry->u1.AddressOfData != 0; ++entry) {
        const char* function = IMAGE_SNAP_BY_ORDINAL(entry->u1.Ordinal)
                                   ? MAKEINTRESOURCEA(IMAGE_ORDINAL(entry->u1.Ordinal))
                                   : at_rva<IMAGE_IMPORT_BY_NAME>(entry->u1.AddressOfData)->Name;
        if (!::GetProcAddress(module.get(), function)) return false;
    }
    return true;
}

// Binds every delay-imported function now, before any window, thread or file
// work. A damaged system then fails here, with a message and exit code 1,
// instead of with exception 0xC06D007E on whichever thread (the pipe reader,
// placement) first calls a missing function. It also means no call ever
// passes through binutils' delay thunk, which does not save xmm0-xmm3.
bool bind_delay_imports() {
    for (const IMAGE_DELAYLOAD_DESCRIPTOR* descriptor : kDelayImportDescriptors) {
        if (!delay_import_complete(*descriptor)) return false;
        auto* slot = const_cast<FARPROC*>(at_rva<FARPROC>(descriptor->ImportAddressTableRVA));
        for (; *slot != nullptr; ++slot) {
            if (!::__delayLoadHelper2(reinterpret_cast<PCImgDelayDescr>(descriptor), slot)) return false;
        }
    }
    return true;
}

void show_system_damaged() {
    ::MessageBoxW(nullptr,
                  L"Windows 시스템 구성 요소를 불러오지 못해 설치를 시작할 수 없습니다.",
                  L"Zelkora · 설치를 시작할 수 없음", MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // An elevated setup usually runs from a Downloads folder: take that folder
    // out of every later DLL search before anything can load a DLL from it.
    if (!::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) || !bind_delay_imports()) {
        show_system_damaged();
        return zelkora::app::kExitFailed;
    }
    return zelkora::app::run_entry(instance);
}
