#include "backends/pnp/setup_api_win32.h"

#include <newdev.h>

#include <array>
#include <cstring>
#include <optional>

#include "backends/pnp/device_rules.h"
#include "core/owners_win32.h"
#include "core/wide.h"

namespace zelkora::pnp {
namespace {

constexpr DWORD kInstanceIdChars = 512;
constexpr DWORD kClassNameChars = 128;
constexpr std::size_t kMaxInfPathChars = 259;

// A device information list is destroyed through the same table that made it.
struct DeviceListTraits {
    using Value = HDEVINFO;
    static Value invalid() noexcept { return INVALID_HANDLE_VALUE; }
    void close(Value list) const noexcept { system->destroy_device_info_list(list); }
    const SystemFunctions* system = nullptr;
};
using DeviceList = Owner<DeviceListTraits>;

// SetupAPI reports failure as INVALID_HANDLE_VALUE; a null list counts as one too.
DeviceList adopt_list(const SystemFunctions& system, HDEVINFO list) {
    return DeviceList(list == nullptr ? INVALID_HANDLE_VALUE : list, DeviceListTraits{.system = &system});
}

RelabelResult refused(std::string_view code) { return RelabelResult{std::string(code)}; }

SP_DEVINFO_DATA empty_device() {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    return device;
}

std::optional<std::u16string> read_property(const SystemFunctions& system, HDEVINFO list, SP_DEVINFO_DATA& device,
                                            DWORD property, DWORD expected_type) {
    struct alignas(32) Buffer {
        std::array<std::byte, kPropertyBufferBytes> bytes{};
    } buffer;
    DWORD type = 0;
    DWORD size = 0;
    if (!system.get_device_registry_property(list, &device, property, &type,
                                             reinterpret_cast<BYTE*>(buffer.bytes.data()), kPropertyBufferBytes,
                                             &size)) {
        return std::nullopt;
    }
    return property_string(PropertyAnswer{type, size, buffer.bytes}, expected_type);
}

// The node with that id is in the list, of the Display class, and carries
// exactly our hardware id; device is then filled.
bool owned(const SystemFunctions& system, HDEVINFO list, const std::wstring& id, SP_DEVINFO_DATA& device) {
    device = empty_device();
    if (!system.open_device_info(list, id.c_str(), &device)) return false;
    if (!::IsEqualGUID(device.ClassGuid, kDisplayClass)) return false;
    const auto ids = read_property(system, list, device, SPDRP_HARDWAREID, kRegMultiSz);
    return ids && is_exactly_our_hardware_id(*ids);
}

std::optional<std::wstring> instance_id(const SystemFunctions& system, HDEVINFO list, SP_DEVINFO_DATA& device) {
    std::array<wchar_t, kInstanceIdChars> id{};
    if (!system.get_device_instance_id(list, &device, id.data(), kInstanceIdChars)) return std::nullopt;
    id.back() = L'\0';
    return std::wstring(id.data());
}

bool same_instance_id(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                          static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

NodeStatus located_status(const SystemFunctions& system, const std::wstring& id) {
    DEVINST node = 0;
    ULONG status = 0;
    ULONG problem = 0;
    if (system.locate_devnode(&node, id.c_str()) != CR_SUCCESS) return {};
    if (system.get_devnode_status(&status, &problem, node) != CR_SUCCESS) return {};
    return NodeStatus{static_cast<std::uint32_t>(status), static_cast<std::int32_t>(problem)};
}

template <typename Text>
bool set_string_property(const SystemFunctions& system, HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property,
                         const Text& value) {
    return system.set_device_registry_property(list, &device, property, reinterpret_cast<const BYTE*>(value.data()),
                                               static_cast<DWORD>(value.size() * sizeof(value[0])));
}

bool point_at_inf(const SystemFunctions& system, HDEVINFO list, SP_DEVINFO_DATA& device, const std::wstring& inf) {
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof(params);
    if (!system.get_device_install_params(list, &device, &params)) return false;
    params.Flags |= DI_ENUMSINGLEINF;
    std::memset(params.DriverPath, 0, sizeof(params.DriverPath));
    std::memcpy(params.DriverPath, inf.c_str(), inf.size() * sizeof(wchar_t));
    return system.set_device_install_params(list, &device, &params);
}

// The new element with our hardware id and label, its driver search limited to the INF.
bool create_element(const SystemFunctions& system, HDEVINFO list, const GUID& class_guid, const std::wstring& inf,
                    SP_DEVINFO_DATA& device) {
    const std::wstring label = to_wide(kFriendlyName);
    return system.create_device_info(list, to_wide(kDisplayClassName).c_str(), &class_guid, label.c_str(),
                                     DICD_GENERATE_ID, &device) &&
           set_string_property(system, list, device, SPDRP_HARDWAREID, hardware_id_list()) &&
           set_string_property(system, list, device, SPDRP_FRIENDLYNAME, friendly_name_value()) &&
           point_at_inf(system, list, device, inf);
}

}  // namespace

NodeStatus SetupApi::node_status(const std::wstring& instance_id) const {
    if (!is_well_formed_instance_id(from_wide(instance_id))) return {};
    return located_status(system_, instance_id);
}

DeviceState SetupApi::device_state(const std::wstring& id) const {
    DeviceState state;
    if (!is_well_formed_instance_id(from_wide(id))) return state;
    const DeviceList list = adopt_list(system_, system_.get_class_devs(nullptr, DIGCF_ALLCLASSES));
    if (!list) return state;
    for (DWORD index = 0; index < kMaxEnumeratedDevices; ++index) {
        SP_DEVINFO_DATA device = empty_device();
        std::optional<std::wstring> listed;
        if (system_.enum_device_info(list.get(), index, &device)) listed = instance_id(system_, list.get(), device);
        if (!listed) {
            if (::GetLastError() == ERROR_NO_MORE_ITEMS) state.word = kStateAbsent;
            return state;
        }
        if (!same_instance_id(*listed, id)) continue;
        SP_DEVINFO_DATA opened = empty_device();
        if (::IsEqualGUID(device.ClassGuid, kDisplayClass) && owned(system_, list.get(), id, opened)) {
            state.word = kStatePresent;
            state.status = located_status(system_, id);
        } else {
            state.word = kStateForeign;
        }
        return state;
    }
    return state;
}

InstallResult SetupApi::create_and_install(const std::wstring& inf_path) const {
    InstallResult result;
    GUID class_guid{};
    std::array<wchar_t, kClassNameChars> class_name{};
    if (inf_path.empty() || inf_path.size() > kMaxInfPathChars ||
        !system_.get_inf_class(inf_path.c_str(), &class_guid, class_name.data(), kClassNameChars) ||
        !::IsEqualGUID(class_guid, kDisplayClass)) {
        result.code = kInfInvalid;
        return result;
    }
    const DeviceList list = adopt_list(system_, system_.create_device_info_list(&class_guid));
    if (!list) {
        result.code = kUnavailable;
        return result;
    }
    SP_DEVINFO_DATA device = empty_device();
    if (!create_element(system_, list.get(), class_guid, inf_path, device)) {
        result.code = kCreateFailed;
        return result;
    }
    SP_DRVINFO_DATA_W driver{};
    driver.cbSize = sizeof(driver);
    if (!system_.build_driver_info_list(list.get(), &device, SPDIT_COMPATDRIVER) ||
        !system_.enum_driver_info(list.get(), &device, SPDIT_COMPATDRIVER, 0, &driver)) {
        result.code = kDriverUnavailable;
        return result;
    }
    if (!system_.call_class_installer(DIF_REGISTERDEVICE, list.get(), &device)) {
        result.code = kRegisterFailed;
        return result;
    }
    // Recorded before the driver install and kept whatever it does: the Host
    // must learn of every node we registered.
    const auto registered = instance_id(system_, list.get(), device);
    if (registered && is_well_formed_instance_id(from_wide(*registered))) {
        system_.set_machine_dword(kNativeDisplayNodesKey, registered->c_str(), 1);
    }
    BOOL reboot = FALSE;
    std::optional<std::wstring> installed;
    if (system_.install_device(list.get(), &device, &driver, &reboot)) {
        installed = instance_id(system_, list.get(), device);
    }
    if (!installed) {
        system_.call_class_installer(DIF_REMOVE, list.get(), &device);
        result.code = kInstallFailed;
        return result;
    }
    result.instance_id = *installed;
    result.reboot_required = reboot != FALSE;
    return result;
}

RelabelResult SetupApi::relabel(const std::wstring& instance_id) const {
    if (!is_well_formed_instance_id(from_wide(instance_id))) return refused(kInstanceInvalid);
    const DeviceList list = adopt_list(system_, system_.create_device_info_list(&kDisplayClass));
    if (!list) return refused(kUnavailable);
    SP_DEVINFO_DATA device = empty_device();
    if (!owned(system_, list.get(), instance_id, device)) return refused(kDeviceUnowned);
    if (!set_string_property(system_, list.get(), device, SPDRP_FRIENDLYNAME, friendly_name_value())) {
        return refused(kLabelFailed);
    }
    const auto read_back = read_property(system_, list.get(), device, SPDRP_FRIENDLYNAME, kRegSz);
    if (!read_back || !is_our_label(*read_back)) return refused(kLabelUnverified);
    return {};  // relabelled
}

bool SetupApi::remove(const std::wstring& instance_id) const {
    if (!is_well_formed_instance_id(from_wide(instance_id))) return false;
    const DeviceList list = adopt_list(system_, system_.create_device_info_list(&kDisplayClass));
    if (!list) return false;
    SP_DEVINFO_DATA device = empty_device();
    if (!owned(system_, list.get(), instance_id, device)) return false;
    return system_.call_class_installer(DIF_REMOVE, list.get(), &device) != FALSE;
}

namespace {

using InstallDevice = BOOL(WINAPI*)(HWND, HDEVINFO, SP_DEVINFO_DATA*, SP_DRVINFO_DATA_W*, DWORD, BOOL*);

BOOL install_device_from_newdev(HDEVINFO list, SP_DEVINFO_DATA* device, SP_DRVINFO_DATA_W* driver, BOOL* reboot) {
    UniqueLibrary newdev(::LoadLibraryExW(L"newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!newdev) return FALSE;
    const auto install =
        reinterpret_cast<InstallDevice>(reinterpret_cast<void*>(::GetProcAddress(newdev.get(), "DiInstallDevice")));
    if (install == nullptr) return FALSE;
    return install(nullptr, list, device, driver, 0, reboot);
}

SystemFunctions make_system_functions() {
    SystemFunctions f;
    f.get_class_devs = [](const GUID* class_guid, DWORD flags) {
        return ::SetupDiGetClassDevsW(class_guid, nullptr, nullptr, flags);
    };
    f.create_device_info_list = [](const GUID* class_guid) { return ::SetupDiCreateDeviceInfoList(class_guid, nullptr); };
    f.destroy_device_info_list = ::SetupDiDestroyDeviceInfoList;
    f.enum_device_info = ::SetupDiEnumDeviceInfo;
    f.get_device_instance_id = [](HDEVINFO list, SP_DEVINFO_DATA* device, wchar_t* id, DWORD chars) {
        return ::SetupDiGetDeviceInstanceIdW(list, device, id, chars, nullptr);
    };
    f.open_device_info = [](HDEVINFO list, const wchar_t* id, SP_DEVINFO_DATA* device) {
        return ::SetupDiOpenDeviceInfoW(list, id, nullptr, 0, device);
    };
    f.get_device_registry_property = ::SetupDiGetDeviceRegistryPropertyW;
    f.set_device_registry_property = ::SetupDiSetDeviceRegistryPropertyW;
    f.get_inf_class = [](const wchar_t* inf, GUID* class_guid, wchar_t* class_name, DWORD chars) {
        return ::SetupDiGetINFClassW(inf, class_guid, class_name, chars, nullptr);
    };
    f.create_device_info = [](HDEVINFO list, const wchar_t* name, const GUID* class_guid, const wchar_t* description,
                              DWORD flags, SP_DEVINFO_DATA* device) {
        return ::SetupDiCreateDeviceInfoW(list, name, class_guid, description, nullptr, flags, device);
    };
    f.get_device_install_params = ::SetupDiGetDeviceInstallParamsW;
    f.set_device_install_params = ::SetupDiSetDeviceInstallParamsW;
    f.build_driver_info_list = ::SetupDiBuildDriverInfoList;
    f.enum_driver_info = ::SetupDiEnumDriverInfoW;
    f.call_class_installer = ::SetupDiCallClassInstaller;
    f.install_device = install_device_from_newdev;
    f.locate_devnode = [](DEVINST* node, const wchar_t* id) {
        return ::CM_Locate_DevNodeW(node, const_cast<wchar_t*>(id), CM_LOCATE_DEVNODE_NORMAL);
    };
    f.get_devnode_status = [](ULONG* status, ULONG* problem, DEVINST node) {
        return ::CM_Get_DevNode_Status(status, problem, node, 0);
    };
    f.set_machine_dword = [](const wchar_t* subkey, const wchar_t* value_name, DWORD value) {
        return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, subkey, value_name, REG_DWORD, &value, sizeof(value));
    };
    return f;
}

}  // namespace

const SystemFunctions& system_functions() {
    static const SystemFunctions functions = make_system_functions();
    return functions;
}

const SetupApi& setup_api() {
    static const SetupApi backend;
    return backend;
}

}  // namespace zelkora::pnp
