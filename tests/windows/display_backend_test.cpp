// The virtual display backend's logic over a stand-in table of system
// functions that behaves like SetupAPI where it matters (lists are of one
// class, properties come back with their type and size, GetLastError tells
// why an enumeration ended), and the real table as far as Wine allows.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backends/pnp/device_rules.h"
#include "backends/pnp/setup_api_win32.h"

namespace {

using namespace zelkora::pnp;

const GUID kOtherClass = {0x4d36e96b, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::wstring multi(std::wstring_view id) { return std::wstring(id) + L'\0' + L'\0'; }
std::wstring with_null(std::wstring_view text) { return std::wstring(text) + L'\0'; }
std::string ascii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

struct FakeDevice {
    std::wstring id;
    GUID class_guid = kDisplayClass;
    std::wstring hardware_ids = multi(L"Root\\SunshineVirtualDisplay");
    std::wstring friendly_name = with_null(L"Old name");
};

// The system as the backend sees it; each call is recorded by name, and only
// the DIF_ and SPDRP_ codes the backend must use get a name of their own (any
// other is recorded by its number and fails). A list is either of all classes
// or of one class; opening a device of another class in a class list fails,
// as SetupDiOpenDeviceInfoW does with ERROR_CLASS_MISMATCH.
class FakeSystem {
public:
    std::vector<FakeDevice> devices;
    std::vector<std::string> calls;
    std::map<std::wstring, DWORD> machine_values;
    int lists_made = 0;
    int lists_destroyed = 0;
    DWORD enumeration_error = ERROR_NO_MORE_ITEMS;
    bool lists_fail = false;
    bool label_write_fails = false;
    std::optional<std::wstring> label_read_back;  // what the friendly name reads as after a write
    GUID inf_class = kDisplayClass;
    bool driver_found = true;
    bool register_succeeds = true;
    bool install_succeeds = true;
    BOOL install_asks_reboot = FALSE;
    ULONG node_status = 0x0180200a;
    ULONG node_problem = 0;
    bool node_located = true;
    SP_DEVINSTALL_PARAMS_W written_params{};
    std::wstring written_hardware_ids;
    std::wstring written_friendly_name;

    SystemFunctions table();

private:
    struct List {
        std::optional<GUID> class_guid;
        std::vector<std::size_t> members;  // indices into devices
    };
    std::map<HDEVINFO, List> lists_;

    HDEVINFO new_list(std::optional<GUID> class_guid) {
        if (lists_fail) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return INVALID_HANDLE_VALUE;
        }
        ++lists_made;
        const auto handle = reinterpret_cast<HDEVINFO>(static_cast<std::intptr_t>(0x1000 + lists_made));
        List list{class_guid, {}};
        if (!class_guid) {
            for (std::size_t i = 0; i < devices.size(); ++i) list.members.push_back(i);
        }
        lists_[handle] = list;
        return handle;
    }
    FakeDevice& device(SP_DEVINFO_DATA* data) { return devices.at(data->DevInst - 1); }
    void fill(SP_DEVINFO_DATA* data, std::size_t index) {
        data->ClassGuid = devices[index].class_guid;
        data->DevInst = static_cast<DWORD>(index + 1);
    }
    BOOL answer_property(const std::wstring& value, DWORD type, DWORD* out_type, BYTE* buffer, DWORD size,
                         DWORD* required) {
        const DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (required) *required = bytes;
        if (out_type) *out_type = type;
        if (bytes > size) {
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(buffer, value.data(), bytes);
        return TRUE;
    }
};

SystemFunctions FakeSystem::table() {
    SystemFunctions f;
    f.get_class_devs = [this](const GUID*, DWORD flags) {
        calls.push_back("get_class_devs");
        return (flags & DIGCF_ALLCLASSES) ? new_list(std::nullopt) : new_list(kDisplayClass);
    };
    f.create_device_info_list = [this](const GUID* class_guid) {
        calls.push_back("create_list");
        return new_list(*class_guid);
    };
    f.destroy_device_info_list = [this](HDEVINFO list) {
        ++lists_destroyed;
        return lists_.erase(list) == 1 ? TRUE : FALSE;
    };
    f.enum_device_info = [this](HDEVINFO handle, DWORD index, SP_DEVINFO_DATA* data) {
        const List& list = lists_.at(handle);
        if (index >= list.members.size()) {
            ::SetLastError(enumeration_error);
            return FALSE;
        }
        fill(data, list.members[index]);
        return TRUE;
    };
    f.get_device_instance_id = [this](HDEVINFO, SP_DEVINFO_DATA* data, wchar_t* id, DWORD chars) {
        const std::wstring& value = device(data).id;
        if (value.size() + 1 > chars) {
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(id, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
        return TRUE;
    };
    f.open_device_info = [this](HDEVINFO handle, const wchar_t* id, SP_DEVINFO_DATA* data) {
        calls.push_back("open");
        List& list = lists_.at(handle);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (::CompareStringOrdinal(devices[i].id.c_str(), -1, id, -1, TRUE) != CSTR_EQUAL) continue;
            if (list.class_guid && !::IsEqualGUID(*list.class_guid, devices[i].class_guid)) {
                ::SetLastError(ERROR_CLASS_MISMATCH);
                return FALSE;
            }
            list.members.push_back(i);
            fill(data, i);
            return TRUE;
        }
        ::SetLastError(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    };
    f.get_device_registry_property = [this](HDEVINFO, SP_DEVINFO_DATA* data, DWORD property, DWORD* type,
                                            BYTE* buffer, DWORD size, DWORD* required) {
        if (property == SPDRP_HARDWAREID) {
            return answer_property(device(data).hardware_ids, REG_MULTI_SZ, type, buffer, size, required);
        }
        if (property == SPDRP_FRIENDLYNAME) {
            return answer_property(device(data).friendly_name, REG_SZ, type, buffer, size, required);
        }
        ::SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    };
    f.set_device_registry_property = [this](HDEVINFO, SP_DEVINFO_DATA* data, DWORD property, const BYTE* value,
                                            DWORD size) {
        const std::wstring text(reinterpret_cast<const wchar_t*>(value), size / sizeof(wchar_t));
        if (property == SPDRP_HARDWAREID) {
            calls.push_back("set_hardware_id:" + std::to_string(size));
            written_hardware_ids = text;
            return TRUE;
        }
        if (property != SPDRP_FRIENDLYNAME) {
            calls.push_back("set_property_" + std::to_string(property));
            ::SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
        calls.push_back("set_friendly_name:" + std::to_string(size));
        if (label_write_fails) return FALSE;
        written_friendly_name = text;
        if (data->DevInst != 0) device(data).friendly_name = label_read_back.value_or(text);
        return TRUE;
    };
    f.get_inf_class = [this](const wchar_t*, GUID* class_guid, wchar_t* class_name, DWORD) {
        calls.push_back("get_inf_class");
        *class_guid = inf_class;
        class_name[0] = L'\0';
        return TRUE;
    };
    f.create_device_info = [this](HDEVINFO handle, const wchar_t* name, const GUID* class_guid,
                                  const wchar_t* description, DWORD flags, SP_DEVINFO_DATA* data) {
        calls.push_back("create_device_info");
        EXPECT_STREQ(name, L"Display");
        EXPECT_STREQ(description, L"Zelkora Virtual Display Adapter");
        EXPECT_EQ(flags, static_cast<DWORD>(DICD_GENERATE_ID));
        devices.push_back(FakeDevice{L"ROOT\\DISPLAY\\0007", *class_guid, L"", L""});
        lists_.at(handle).members.push_back(devices.size() - 1);
        fill(data, devices.size() - 1);
        return TRUE;
    };
    f.get_device_install_params = [this](HDEVINFO, SP_DEVINFO_DATA*, SP_DEVINSTALL_PARAMS_W* params) {
        calls.push_back("get_params");
        params->Flags = DI_QUIETINSTALL;
        return TRUE;
    };
    f.set_device_install_params = [this](HDEVINFO, SP_DEVINFO_DATA*, SP_DEVINSTALL_PARAMS_W* params) {
        calls.push_back("set_params");
        written_params = *params;
        return TRUE;
    };
    f.build_driver_info_list = [this](HDEVINFO, SP_DEVINFO_DATA*, DWORD type) {
        calls.push_back("build_drivers");
        EXPECT_EQ(type, static_cast<DWORD>(SPDIT_COMPATDRIVER));
        return TRUE;
    };
    f.enum_driver_info = [this](HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD index, SP_DRVINFO_DATA_W*) {
        calls.push_back("enum_driver:" + std::to_string(index));
        if (!driver_found) ::SetLastError(ERROR_NO_MORE_ITEMS);
        return driver_found ? TRUE : FALSE;
    };
    f.call_class_installer = [this](DI_FUNCTION function, HDEVINFO, SP_DEVINFO_DATA* data) {
        if (function == DIF_REGISTERDEVICE) {
            calls.push_back("register");
            return register_succeeds ? TRUE : FALSE;
        }
        if (function == DIF_REMOVE) {
            calls.push_back("remove:" + ascii(device(data).id));
            return TRUE;
        }
        calls.push_back("class_installer_" + std::to_string(function));
        ::SetLastError(ERROR_DI_DO_DEFAULT);
        return FALSE;
    };
    f.install_device = [this](HDEVINFO, SP_DEVINFO_DATA*, SP_DRVINFO_DATA_W*, BOOL* reboot) {
        calls.push_back("install");
        *reboot = install_asks_reboot;
        return install_succeeds ? TRUE : FALSE;
    };
    f.locate_devnode = [this](DEVINST* node, const wchar_t*) {
        *node = 1;
        return node_located ? CR_SUCCESS : CR_NO_SUCH_DEVNODE;
    };
    f.get_devnode_status = [this](ULONG* status, ULONG* problem, DEVINST) {
        *status = node_status;
        *problem = node_problem;
        return CR_SUCCESS;
    };
    f.set_machine_dword = [this](const wchar_t* subkey, const wchar_t* name, DWORD value) {
        calls.push_back("record");
        EXPECT_STREQ(subkey, L"SOFTWARE\\Zelkora\\Host\\NativeDisplayNodes");
        machine_values[name] = value;
        return ERROR_SUCCESS;
    };
    return f;
}

// Each test checks at the end that every list made was destroyed.
class DisplayBackend : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(system_.lists_made, system_.lists_destroyed); }

    SetupApi backend() {
        table_ = system_.table();
        return SetupApi(table_);
    }
    void add(FakeDevice device) { system_.devices.push_back(std::move(device)); }
    static FakeDevice foreign_with_two_ids() {
        return FakeDevice{L"ROOT\\DISPLAY\\0001", kDisplayClass,
                          std::wstring(L"Root\\SunshineVirtualDisplay\0Root\\Other\0\0", 40)};
    }
    static FakeDevice ours_in_other_class() { return FakeDevice{L"ROOT\\DISPLAY\\0001", kOtherClass}; }

    FakeSystem system_;
    SystemFunctions table_;
};

TEST_F(DisplayBackend, StateOfOurNodeIsPresentWithItsStatus) {
    add(FakeDevice{L"ROOT\\NET\\0000", kOtherClass, multi(L"Root\\Other")});
    add(FakeDevice{L"ROOT\\DISPLAY\\0001"});
    const DeviceState state = backend().device_state(L"root\\display\\0001");
    EXPECT_EQ(state.word, kStatePresent);
    EXPECT_EQ(state.status.status, 0x0180200au);
    EXPECT_EQ(state.status.problem, 0);
}

TEST_F(DisplayBackend, PresentNodeWhoseStatusCannotBeReadKeepsTheDefaultStatus) {
    add(FakeDevice{L"ROOT\\DISPLAY\\0001"});
    system_.node_located = false;
    const DeviceState state = backend().device_state(L"ROOT\\DISPLAY\\0001");
    EXPECT_EQ(state.word, kStatePresent);
    EXPECT_EQ(state.status.status, 0u);
    EXPECT_EQ(state.status.problem, -1);
}

TEST_F(DisplayBackend, ForeignNodesAreNeitherRelabelledNorRemoved) {
    for (const FakeDevice& node : {foreign_with_two_ids(), ours_in_other_class()}) {
        system_.devices = {node};
        system_.calls.clear();
        EXPECT_EQ(backend().device_state(L"ROOT\\DISPLAY\\0001").word, kStateForeign);
        EXPECT_EQ(backend().relabel(L"ROOT\\DISPLAY\\0001").code, kDeviceUnowned);
        EXPECT_FALSE(backend().remove(L"ROOT\\DISPLAY\\0001"));
        for (const std::string& call : system_.calls) {
            EXPECT_EQ(call.rfind("remove:", 0), std::string::npos);
            EXPECT_EQ(call.rfind("set_friendly_name", 0), std::string::npos);
        }
    }
}

TEST_F(DisplayBackend, StateIsAbsentOnlyWhenTheEnumerationRanOut) {
    add(FakeDevice{L"ROOT\\DISPLAY\\0001"});
    EXPECT_EQ(backend().device_state(L"ROOT\\DISPLAY\\0002").word, kStateAbsent);
    system_.enumeration_error = ERROR_INVALID_HANDLE;
    EXPECT_EQ(backend().device_state(L"ROOT\\DISPLAY\\0002").word, kStateUnknown);
    system_.lists_fail = true;
    EXPECT_EQ(backend().device_state(L"ROOT\\DISPLAY\\0002").word, kStateUnknown);
}

TEST_F(DisplayBackend, MalformedIdIsUnknownWithoutAskingTheSystem) {
    add(FakeDevice{L"ROOT\\DISPLAY\\001"});
    EXPECT_EQ(backend().device_state(L"ROOT\\DISPLAY\\001").word, kStateUnknown);
    EXPECT_EQ(backend().node_status(L"ROOT\\DISPLAY\\001").problem, -1);
    EXPECT_EQ(backend().relabel(L"ROOT\\DISPLAY\\001").code, kInstanceInvalid);
    EXPECT_FALSE(backend().remove(L"ROOT\\DISPLAY\\001"));
    EXPECT_TRUE(system_.calls.empty());
}

TEST_F(DisplayBackend, EnumerationStopsAt8192Devices) {
    for (int i = 0; i < 8192; ++i) add(FakeDevice{L"ROOT\\NET\\" + std::to_wstring(i), kOtherClass});
    add(FakeDevice{L"ROOT\\DISPLAY\\0001"});
    EXPECT_EQ(backend().device_state(L"ROOT\\DISPLAY\\0001").word, kStateUnknown);
    // One device fewer in front and the node is the last index looked at.
    system_.devices.erase(system_.devices.begin());
    EXPECT_EQ(backend().device_state(L"ROOT\\DISPLAY\\0001").word, kStatePresent);
}

TEST_F(DisplayBackend, NodeStatusComesFromTheConfigurationManager) {
    EXPECT_EQ(backend().node_status(L"ROOT\\DISPLAY\\0001").status, 0x0180200au);
    system_.node_located = false;
    const NodeStatus status = backend().node_status(L"ROOT\\DISPLAY\\0001");
    EXPECT_EQ(status.status, 0u);
    EXPECT_EQ(status.problem, -1);
}

TEST_F(DisplayBackend, RelabelWritesTheLabelAndVerifiesItWithItsNull) {
    add(FakeDevice{L"ROOT\\DISPLAY\\0001"});
    EXPECT_EQ(backend().relabel(L"ROOT\\DISPLAY\\0001").code, "");
    EXPECT_EQ(system_.written_friendly_name, with_null(L"Zelkora Virtual Display Adapter"));
    EXPECT_NE(std::find(system_.calls.begin(), system_.calls.end(), "set_friendly_name:64"), system_.calls.end());
}

TEST_F(DisplayBackend, RelabelThatReadsBackAnythingElseIsUnverified) {
    for (const std::wstring& read_back :
         {with_null(L"Some Other Display"), std::wstring(L"Zelkora Virtual Display Adapter"),
          with_null(L"Zelkora Virtual Display Adapter") + L'\0'}) {
        system_.devices = {FakeDevice{L"ROOT\\DISPLAY\\0001"}};
        system_.label_read_back = read_back;
        EXPECT_EQ(backend().relabel(L"ROOT\\DISPLAY\\0001").code, kLabelUnverified);
    }
}

TEST_F(DisplayBackend, RelabelFailures) {
    add(FakeDevice{L"ROOT\\DISPLAY\\0001"});
    EXPECT_EQ(backend().relabel(L"ROOT\\DISPLAY\\0002").code, kDeviceUnowned);
    system_.label_write_fails = true;
    EXPECT_EQ(backend().relabel(L"ROOT\\DISPLAY\\0001").code, kLabelFailed);
    system_.lists_fail = true;
    EXPECT_EQ(backend().relabel(L"ROOT\\DISPLAY\\0001").code, kUnavailable);
}

TEST_F(DisplayBackend, RemoveTakesOnlyOurNode) {
    add(FakeDevice{L"ROOT\\DISPLAY\\0001"});
    EXPECT_TRUE(backend().remove(L"ROOT\\DISPLAY\\0001"));
    EXPECT_FALSE(backend().remove(L"ROOT\\DISPLAY\\0002"));
    EXPECT_EQ(std::count(system_.calls.begin(), system_.calls.end(), "remove:ROOT\\DISPLAY\\0001"), 1);
}

const std::wstring kInf = L"C:\\drivers\\virtual-display.inf";

TEST_F(DisplayBackend, CreateAndInstallRecordsTheNodeBeforeInstallingItsDriver) {
    system_.install_asks_reboot = TRUE;
    const InstallResult result = backend().create_and_install(kInf);
    EXPECT_EQ(result.code, "");
    EXPECT_EQ(result.instance_id, L"ROOT\\DISPLAY\\0007");
    EXPECT_TRUE(result.reboot_required);
    EXPECT_EQ(system_.calls,
              (std::vector<std::string>{"get_inf_class", "create_list", "create_device_info", "set_hardware_id:58",
                                        "set_friendly_name:64", "get_params", "set_params", "build_drivers",
                                        "enum_driver:0", "register", "record", "install"}));
    EXPECT_EQ(system_.written_hardware_ids, multi(L"Root\\SunshineVirtualDisplay"));
    EXPECT_EQ(system_.written_params.Flags, static_cast<DWORD>(DI_QUIETINSTALL | DI_ENUMSINGLEINF));
    EXPECT_STREQ(system_.written_params.DriverPath, kInf.c_str());
    EXPECT_EQ(system_.machine_values, (std::map<std::wstring, DWORD>{{L"ROOT\\DISPLAY\\0007", 1}}));
}

TEST_F(DisplayBackend, FailedInstallRemovesTheNodeButKeepsItsRecord) {
    system_.install_succeeds = false;
    const InstallResult result = backend().create_and_install(kInf);
    EXPECT_EQ(result.code, kInstallFailed);
    EXPECT_EQ(result.instance_id, L"");
    EXPECT_FALSE(result.reboot_required);
    EXPECT_EQ(system_.calls.back(), "remove:ROOT\\DISPLAY\\0007");
    EXPECT_EQ(system_.machine_values, (std::map<std::wstring, DWORD>{{L"ROOT\\DISPLAY\\0007", 1}}));
}

TEST_F(DisplayBackend, CreateAndInstallStopsAtTheFirstFailureWithItsCode) {
    system_.inf_class = kOtherClass;
    EXPECT_EQ(backend().create_and_install(kInf).code, kInfInvalid);
    EXPECT_EQ(system_.calls, std::vector<std::string>{"get_inf_class"});
    system_.inf_class = kDisplayClass;
    system_.calls.clear();
    EXPECT_EQ(backend().create_and_install(L"").code, kInfInvalid);
    EXPECT_EQ(backend().create_and_install(L"C:\\" + std::wstring(253, L'a') + L".inf").code, kInfInvalid);  // 260
    EXPECT_TRUE(system_.calls.empty());
    EXPECT_EQ(backend().create_and_install(L"C:\\" + std::wstring(252, L'a') + L".inf").code, "");  // 259

    system_.driver_found = false;
    EXPECT_EQ(backend().create_and_install(kInf).code, kDriverUnavailable);
    system_.driver_found = true;
    system_.register_succeeds = false;
    system_.machine_values.clear();
    EXPECT_EQ(backend().create_and_install(kInf).code, kRegisterFailed);
    EXPECT_TRUE(system_.machine_values.empty());
    system_.lists_fail = true;
    EXPECT_EQ(backend().create_and_install(kInf).code, kUnavailable);
}

// The real table under Wine: only calls that Wine carries out safely.
void write_inf(const std::wstring& path, const char* class_line) {
    std::ofstream(std::filesystem::path(path))
        << "[Version]\r\nSignature=\"$Windows NT$\"\r\n" << class_line << "\r\nProvider=Zelkora tests\r\n";
}

int device_count() {
    struct Destroy {
        void operator()(void* list) const { ::SetupDiDestroyDeviceInfoList(list); }
    };
    const HDEVINFO handle = ::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    const std::unique_ptr<void, Destroy> list(handle);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    int count = 0;
    while (::SetupDiEnumDeviceInfo(list.get(), count, &device)) ++count;
    return count;
}

TEST(DisplayBackendOnWine, AnswersForIdsThatDoNotExistOrAreMalformed) {
    const SetupApi backend;
    EXPECT_EQ(backend.device_state(L"ROOT\\DISPLAY\\ABCD").word, kStateAbsent);
    EXPECT_EQ(backend.device_state(L"ROOT\\DISPLAY\\ABC").word, kStateUnknown);
    EXPECT_EQ(backend.relabel(L"ROOT\\DISPLAY\\ABCD").code, kDeviceUnowned);
    EXPECT_FALSE(backend.remove(L"ROOT\\DISPLAY\\ABCD"));
}

TEST(DisplayBackendOnWine, InfOfAnotherClassCreatesNothing) {
    const std::wstring inf = L"C:\\users\\Public\\zelkora-other-class.inf";
    write_inf(inf, "Class=Net\r\nClassGUID={4d36e972-e325-11ce-bfc1-08002be10318}");
    const int before = device_count();
    EXPECT_EQ(SetupApi().create_and_install(inf).code, kInfInvalid);
    EXPECT_EQ(device_count(), before);
    ::DeleteFileW(inf.c_str());
}

}  // namespace
