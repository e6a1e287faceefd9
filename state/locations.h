#pragma once
// The well-known folders of the moment; each is empty when Windows cannot
// name it. Portable: no <windows.h>.

#include <string>

namespace zelkora::state {

struct WellKnownLocations {
    std::u16string setup_bin;       // the "bin" folder beside the setup program
    std::u16string program_files;
    std::u16string local_app_data;
    std::u16string public_desktop;
    std::u16string common_startup;
    std::u16string desktop;
};

}  // namespace zelkora::state
