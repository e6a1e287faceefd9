// Stand-in for Windows PowerShell inside the Wine test prefix. For now it
// only records that it was started; the script languages come with the
// installer-run tests.
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    std::fwprintf(stderr, L"powershell stand-in started with %d arguments:", argc - 1);
    for (int i = 1; i < argc; ++i) std::fwprintf(stderr, L" [%ls]", argv[i]);
    std::fwprintf(stderr, L"\n");
    return 1;
}
