// The hand-off record in the real registry of the Wine prefix: every key
// lives under this process's own isolated base path.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <functional>
#include <map>
#include <string>

#include "core/owners_win32.h"
#include "core/wide.h"
#include "state/handoff_registry_win32.h"

extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace {

using namespace zelkora;
using namespace zelkora::state;

std::wstring isolated_base() { return to_wide(isolated_handoff_base_path(::GetCurrentProcessId())); }
std::wstring client_key() { return isolated_base() + L"\\Client"; }
std::wstring parent_of(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

bool key_exists(const std::wstring& path) {
    UniqueRegistryKey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

HandoffRecord sample_record() {
    HandoffRecord record;
    record.from_version = "0.9.0";
    record.to_version = "1.0.0";
    record.token = u"00112233445566778899aabbccddeeff";
    record.placement[0] = 44;
    record.placement[12] = 7;
    record.has_placement = true;
    record.bounds = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0};
    record.has_bounds = true;
    record.dark = true;
    record.process_id = 77;
    record.created = 133'000'000'000'000'000ull;
    return record;
}

DWORD dword_value(const std::wstring& key, const wchar_t* name) {
    DWORD value = 0xFFFFFFFF;
    DWORD size = sizeof(value);
    ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

std::wstring string_value(const std::wstring& key, const wchar_t* name) {
    wchar_t value[80] = L"<none>";
    DWORD size = sizeof(value);
    ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

class HandoffRegistry : public testing::Test {
protected:
    void TearDown() override { static_cast<void>(delete_record_key(isolated_base())); }
};

TEST_F(HandoffRegistry, WrittenRecordReadsBack) {
    const HandoffRecord record = sample_record();
    ASSERT_TRUE(write_handoff_record(isolated_base(), HandoffCaller::client, record));
    EXPECT_EQ(read_handoff_record(isolated_base(), HandoffCaller::client), record);
    EXPECT_FALSE(read_handoff_record(isolated_base(), HandoffCaller::host_settings));

    // A second write replaces the whole key: no placement left from the first.
    HandoffRecord without_placement = record;
    without_placement.has_placement = false;
    without_placement.placement = {};
    ASSERT_TRUE(write_handoff_record(isolated_base(), HandoffCaller::client, without_placement));
    EXPECT_EQ(read_handoff_record(isolated_base(), HandoffCaller::client), without_placement);
}

TEST_F(HandoffRegistry, InvalidRecordWritesNothing) {
    ASSERT_TRUE(write_handoff_record(isolated_base(), HandoffCaller::client, sample_record()));
    HandoffRecord bad = sample_record();
    bad.token = u"00112233445566778899AABBCCDDEEFF";
    EXPECT_FALSE(write_handoff_record(isolated_base(), HandoffCaller::client, bad));
    EXPECT_EQ(read_handoff_record(isolated_base(), HandoffCaller::client), sample_record());
}

struct StoredValueCase {
    const char* name;
    std::function<void(HKEY)> change;
    bool valid;
    bool has_placement;
};

void PrintTo(const StoredValueCase& c, std::ostream* out) { *out << c.name; }

class HandoffStoredValues : public HandoffRegistry, public testing::WithParamInterface<StoredValueCase> {};

TEST_P(HandoffStoredValues, ReadAsTheRegistryHoldsThem) {
    ASSERT_TRUE(write_handoff_record(isolated_base(), HandoffCaller::client, sample_record()));
    {
        UniqueRegistryKey key;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, client_key().c_str(), 0, KEY_SET_VALUE, key.put()),
                  ERROR_SUCCESS);
        GetParam().change(key.get());
    }
    const auto record = read_handoff_record(isolated_base(), HandoffCaller::client);
    ASSERT_EQ(record.has_value(), GetParam().valid);
    if (record) EXPECT_EQ(record->has_placement, GetParam().has_placement);
}

void set_string(HKEY key, const wchar_t* name, const std::wstring& text) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(2 * (text.size() + 1)));
}

void set_dword(HKEY key, const wchar_t* name, DWORD value) {
    ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandoffStoredValues,
    testing::Values(
        StoredValueCase{"as written", [](HKEY) {}, true, true},
        StoredValueCase{"schema as string", [](HKEY key) { set_string(key, L"Schema", L"1"); }, false, false},
        StoredValueCase{"schema 2", [](HKEY key) { set_dword(key, L"Schema", 2); }, false, false},
        StoredValueCase{"token deleted", [](HKEY key) { ::RegDeleteValueW(key, L"Token"); }, false, false},
        StoredValueCase{"stage 7", [](HKEY key) { set_dword(key, L"Stage", 7); }, false, false},
        StoredValueCase{"oversize outcome", [](HKEY key) { set_string(key, L"Outcome", std::wstring(300, L'r')); },
                        false, false},
        StoredValueCase{"placement of 40 bytes",
                        [](HKEY key) {
                            const BYTE placement[40] = {44};
                            ::RegSetValueExW(key, L"Placement", 0, REG_BINARY, placement, sizeof(placement));
                        },
                        true, false},
        StoredValueCase{"placement of 300 bytes",
                        [](HKEY key) {
                            const BYTE placement[300] = {44};
                            ::RegSetValueExW(key, L"Placement", 0, REG_BINARY, placement, sizeof(placement));
                        },
                        true, false}),
    [](const testing::TestParamInfo<StoredValueCase>& info) {
        std::string name = info.param.name;
        for (char& c : name) c = c == ' ' ? '_' : c;
        return name;
    });

TEST_F(HandoffRegistry, PublishWritesTheAnswerWithTheStageClamped) {
    ASSERT_TRUE(write_handoff_record(isolated_base(), HandoffCaller::client, sample_record()));
    struct Case {
        PublishedOutcome outcome;
        const wchar_t* written_outcome;
        DWORD stage;
    };
    const Case cases[] = {
        {{"ready", "", 9, false, false}, L"ready", 6},
        {{"failed", "install_failed", -1, true, true}, L"failed", 0},
        {{"blocked", "driver_install_required", 4, false, false}, L"blocked", 4},
        // Not one of the five outcomes, or not a valid code: nothing changes.
        {{"Ready", "", 2, false, false}, L"blocked", 4},
        {{"failed", "-", 2, false, false}, L"blocked", 4},
    };
    for (const auto& c : cases) {
        publish_outcome(isolated_base(), c.outcome);
        EXPECT_EQ(string_value(client_key(), L"Outcome"), c.written_outcome) << c.outcome.outcome;
        EXPECT_EQ(dword_value(client_key(), L"Stage"), c.stage) << c.outcome.outcome;
    }
    const auto record = read_handoff_record(isolated_base(), HandoffCaller::client);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->code, "driver_install_required");
    EXPECT_FALSE(record->attention);
    EXPECT_EQ(record->token, sample_record().token);
}

TEST_F(HandoffRegistry, PublishWithoutAKeyCreatesNothing) {
    publish_outcome(isolated_base(), {"ready", "", 1, false, false});
    EXPECT_FALSE(key_exists(client_key()));
    EXPECT_FALSE(key_exists(isolated_base()));
}

TEST_F(HandoffRegistry, DeleteCallerSubkeyKeepsTheOtherCaller) {
    EXPECT_TRUE(delete_caller_subkey(isolated_base(), HandoffCaller::client));  // never there
    ASSERT_TRUE(write_handoff_record(isolated_base(), HandoffCaller::client, sample_record()));
    ASSERT_TRUE(write_handoff_record(isolated_base(), HandoffCaller::host_settings, sample_record()));
    EXPECT_TRUE(delete_caller_subkey(isolated_base(), HandoffCaller::client));
    EXPECT_FALSE(key_exists(client_key()));
    EXPECT_TRUE(read_handoff_record(isolated_base(), HandoffCaller::host_settings));
}

// A root of this process's own stands in for "Software\Zelkora", so that no
// other test's keys can keep it alive.
TEST_F(HandoffRegistry, DeleteRecordKeyRemovesEmptyParentsBelowSoftware) {
    const std::wstring zelkora = L"Software\\Zelkora-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring qa = zelkora + L"\\QA";
    const std::wstring base = qa + L"\\UpdateHandoff.1";
    struct Case {
        const char* name;
        std::wstring sibling;  // a key that keeps its parent alive
        bool qa_left;
        bool zelkora_left;
    };
    const Case cases[] = {
        {"alone", L"", false, false},
        {"beside another QA key", qa + L"\\Other", true, true},
        {"beside another Zelkora key", zelkora + L"\\Other", false, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(write_handoff_record(base, HandoffCaller::client, sample_record()));
        UniqueRegistryKey sibling;
        if (!c.sibling.empty()) {
            ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, c.sibling.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                                        sibling.put(), nullptr),
                      ERROR_SUCCESS);
        }
        EXPECT_TRUE(delete_record_key(base)) << c.name;
        EXPECT_FALSE(key_exists(base)) << c.name;
        EXPECT_EQ(key_exists(qa), c.qa_left) << c.name;
        EXPECT_EQ(key_exists(zelkora), c.zelkora_left) << c.name;
        EXPECT_TRUE(key_exists(L"Software")) << c.name;
        sibling.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, zelkora.c_str());
    }
    EXPECT_TRUE(delete_record_key(base));  // already gone
    EXPECT_FALSE(delete_record_key(L""));
    EXPECT_FALSE(delete_record_key(L"software"));
    EXPECT_TRUE(key_exists(L"Software"));
}

// Every key below path with its values, as "sub\\key|value" -> data
// ("sub\\key|" marks the key itself).
using RegistrySnapshot = std::map<std::wstring, std::string>;
void snapshot_into(HKEY key, const std::wstring& prefix, RegistrySnapshot& out) {
    out[prefix + L"|"] = "";
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD name_length = 256;
        BYTE data[512];
        DWORD size = sizeof(data);
        if (::RegEnumValueW(key, index, name, &name_length, nullptr, nullptr, data, &size) != ERROR_SUCCESS) break;
        out[prefix + L"|" + std::wstring(name, name_length)] = std::string(reinterpret_cast<char*>(data), size);
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD name_length = 256;
        if (::RegEnumKeyExW(key, index, name, &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        UniqueRegistryKey child;
        if (::RegOpenKeyExW(key, name, REG_OPTION_OPEN_LINK, KEY_READ, child.put()) == ERROR_SUCCESS) {
            snapshot_into(child.get(), prefix + L"\\" + std::wstring(name, name_length), out);
        }
    }
}
RegistrySnapshot snapshot_key(const std::wstring& path) {
    RegistrySnapshot out;
    UniqueRegistryKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
        snapshot_into(key.get(), L"", out);
    }
    return out;
}

std::wstring current_user_root() {
    UniqueHandle token;
    BYTE buffer[256];
    DWORD size = 0;
    wchar_t* sid = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size) ||
        !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
        return {};
    }
    std::wstring root = L"\\Registry\\User\\" + std::wstring(sid);
    ::LocalFree(sid);
    return root;
}

// A registry link at HKCU\path to HKCU\target, as any program of the user can
// make one below its own keys.
bool make_registry_link(const std::wstring& path, const std::wstring& target) {
    const std::wstring destination = current_user_root() + L"\\" + target;
    UniqueRegistryKey link;
    return ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, link.put(), nullptr) == ERROR_SUCCESS &&
           ::RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK,
                            reinterpret_cast<const BYTE*>(destination.data()),
                            static_cast<DWORD>(destination.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void remove_registry_link(const std::wstring& path) {
    UniqueRegistryKey link;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, link.put()) == ERROR_SUCCESS) {
        NtDeleteKey(link.get());
    }
}

// A key on the record's path, or below it, that is a registry link to
// somewhere else: writes, answers and deletes refuse it and leave what it
// points to as it was; the record is not read through it either.
TEST_F(HandoffRegistry, ARegistryLinkOnTheWayIsNeverFollowed) {
    const std::wstring decoy = L"Software\\ZelkoraDecoy." + std::to_wstring(::GetCurrentProcessId());
    struct Case {
        const char* name;
        std::wstring link;
        std::wstring target;
    };
    const Case cases[] = {
        {"the caller key", client_key(), decoy + L"\\Client"},
        {"the base key", isolated_base(), decoy},
        {"a key below the caller key", client_key() + L"\\Inside", decoy + L"\\Client"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_handoff_record(decoy, HandoffCaller::client, sample_record()));
        const DWORD keep = 1;
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, (decoy + L"\\Client\\Below").c_str(), L"Keep", REG_DWORD, &keep,
                                    sizeof(keep)),
                  ERROR_SUCCESS);
        const RegistrySnapshot before = snapshot_key(decoy);
        if (c.link != isolated_base()) {
            ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, parent_of(c.link).c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                                        UniqueRegistryKey().put(), nullptr),
                      ERROR_SUCCESS);
        }
        ASSERT_TRUE(make_registry_link(c.link, c.target));
        ASSERT_EQ(snapshot_key(client_key()).count(L"|Token"), c.link == client_key() + L"\\Inside" ? 0u : 1u);

        if (c.link != client_key() + L"\\Inside") {
            EXPECT_FALSE(read_handoff_record(isolated_base(), HandoffCaller::client));
            EXPECT_FALSE(write_handoff_record(isolated_base(), HandoffCaller::client, sample_record()));
            publish_outcome(isolated_base(), {"failed", "install_failed", 3, false, false});
        }
        EXPECT_FALSE(delete_caller_subkey(isolated_base(), HandoffCaller::client));
        EXPECT_FALSE(delete_record_key(isolated_base()));
        EXPECT_EQ(snapshot_key(decoy), before);

        remove_registry_link(c.link);
        EXPECT_TRUE(delete_record_key(isolated_base()));
        ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, decoy.c_str()), ERROR_SUCCESS);
    }
}

}  // namespace
