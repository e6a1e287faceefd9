#include "payload/desktop_user_start_win32.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "core/com_owners_win32.h"

namespace zelkora::payload {
namespace {

// The desktop's folder view, through which the shell itself runs things.
ComPtr<IShellView> desktop_view() {
    ComPtr<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                  windows.put_void()))) {
        return {};
    }
    UniqueVariant location;
    location.set_int(0);  // CSIDL_DESKTOP
    UniqueVariant root;
    LONG window = 0;
    ComPtr<IDispatch> found;
    if (windows->FindWindowSW(&location.get(), &root.get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, found.put()) !=
            S_OK ||
        !found) {
        return {};
    }
    const auto services = found.query<IServiceProvider>(IID_IServiceProvider);
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    if (!services || FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void())) ||
        FAILED(browser->QueryActiveShellView(view.put()))) {
        return {};
    }
    return view;
}

ComPtr<IShellDispatch2> desktop_shell() {
    const ComPtr<IShellView> view = desktop_view();
    if (!view) return {};
    ComPtr<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void()))) return {};
    const auto folder_view = background.query<IShellFolderViewDual>(IID_IShellFolderViewDual);
    ComPtr<IDispatch> application;
    if (!folder_view || FAILED(folder_view->get_Application(application.put()))) return {};
    return application.query<IShellDispatch2>(IID_IShellDispatch2);
}

}  // namespace

bool start_as_desktop_user(const std::wstring& program, const std::wstring& arguments,
                           const std::wstring& working_folder) {
    const ComApartment apartment;
    const ComPtr<IShellDispatch2> shell = desktop_shell();
    if (!shell) return false;
    const UniqueBstr file(program.c_str());
    UniqueVariant argument_text;
    UniqueVariant folder;
    UniqueVariant operation;  // VT_EMPTY: the default verb
    UniqueVariant show;
    show.set_int(SW_SHOWNORMAL);
    if (!file || !argument_text.set_string(arguments.c_str()) || !folder.set_string(working_folder.c_str())) {
        return false;
    }
    return SUCCEEDED(shell->ShellExecute(file.get(), argument_text.get(), folder.get(), operation.get(), show.get()));
}

}  // namespace zelkora::payload
