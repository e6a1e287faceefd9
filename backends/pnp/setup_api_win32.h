#pragma once
// The virtual display backend through SetupAPI, the configuration manager and
// DiInstallDevice, reached through one table of system functions so that
// tests can stand in for the system without touching the logic.

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include <functional>

#include "backends/pnp/backend.h"

namespace zelkora::pnp {

struct SystemFunctions {
    std::function<HDEVINFO(const GUID* class_guid, DWORD flags)> get_class_devs;
    std::function<HDEVINFO(const GUID* class_guid)> create_device_info_list;
    std::function<BOOL(HDEVINFO list)> destroy_device_info_list;
    std::function<BOOL(HDEVINFO list, DWORD index, SP_DEVINFO_DATA* device)> enum_device_info;
    std::function<BOOL(HDEVINFO list, SP_DEVINFO_DATA* device, wchar_t* id, DWORD chars)> get_device_instance_id;
    std::function<BOOL(HDEVINFO list, const wchar_t* id, SP_DEVINFO_DATA* device)> open_device_info;
    std::function<BOOL(HDEVINFO list, SP_DEVINFO_DATA* device, DWORD property, DWORD* type, BYTE* buffer,
                       DWORD size, DWORD* required)>
        get_device_registry_property;
    std::function<BOOL(HDEVINFO list, SP_DEVINFO_DATA* device, DWORD property, const BYTE* value, DWORD size)>
        set_device_registry_property;
    std::function<BOOL(const wchar_t* inf, GUID* class_guid, wchar_t* class_name, DWORD chars)> get_inf_class;
    std::function<BOOL(HDEVINFO list, const wchar_t* name, const GUID* class_guid, const wchar_t* description,
                       DWORD flags, SP_DEVINFO_DATA* device)>
        create_device_info;
    std::function<BOOL(HDEVINFO list, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)>
        get_device_install_params;
    std::function<BOOL(HDEVINFO list, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)>
        set_device_install_params;
    std::function<BOOL(HDEVINFO list, SP_DEVINFO_DATA* device, DWORD driver_type)> build_driver_info_list;
    std::function<BOOL(HDEVINFO list, SP_DEVINFO_DATA* device, DWORD driver_type, DWORD index,
                       SP_DRVINFO_DATA_W* driver)>
        enum_driver_info;
    std::function<BOOL(DI_FUNCTION function, HDEVINFO list, SP_DEVINFO_DATA* device)> call_class_installer;
    std::function<BOOL(HDEVINFO list, SP_DEVINFO_DATA* device, SP_DRVINFO_DATA_W* driver, BOOL* reboot)>
        install_device;
    std::function<CONFIGRET(DEVINST* node, const wchar_t* id)> locate_devnode;
    std::function<CONFIGRET(ULONG* status, ULONG* problem, DEVINST node)> get_devnode_status;
    std::function<LSTATUS(const wchar_t* subkey, const wchar_t* value_name, DWORD value)> set_machine_dword;
};

// SetupAPI and cfgmgr32 as linked; DiInstallDevice from newdev.dll in System32.
const SystemFunctions& system_functions();

class SetupApi final : public Backend {
public:
    SetupApi() : system_(system_functions()) {}
    explicit SetupApi(const SystemFunctions& system) : system_(system) {}

    [[nodiscard]] NodeStatus node_status(const std::wstring& instance_id) const override;
    [[nodiscard]] DeviceState device_state(const std::wstring& instance_id) const override;
    [[nodiscard]] InstallResult create_and_install(const std::wstring& inf_path) const override;
    [[nodiscard]] RelabelResult relabel(const std::wstring& instance_id) const override;
    [[nodiscard]] bool remove(const std::wstring& instance_id) const override;

private:
    const SystemFunctions& system_;
};

// The process's one instance over the real system functions.
const SetupApi& setup_api();

inline constexpr DWORD kMaxEnumeratedDevices = 8192;
inline constexpr GUID kDisplayClass = {0x4d36e968, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
inline constexpr const wchar_t* kNativeDisplayNodesKey = L"SOFTWARE\\Zelkora\\Host\\NativeDisplayNodes";

}  // namespace zelkora::pnp
