// The control for the planted-DLL test: a program with uxtheme.dll as a plain
// static import and no DLL hardening, as the setup was before. If the planted
// uxtheme.dll beside it leaves no marker, the test's set-up shows nothing.
#include <windows.h>
#include <uxtheme.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Referenced, never called: the import alone makes the loader bind uxtheme.dll.
    volatile auto set_theme = &::SetWindowTheme;
    return set_theme ? 0 : 1;
}
