// The confirmation dialogs, in-process: an owner window on this thread opens
// a dialog, and thread timers, dispatched by the dialog's own modal loop,
// act as the user (keys, clicks, close, quit) and record what they saw.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/owners_win32.h"
#include "test_support.h"
#include "ui/confirmation_dialog_win32.h"

namespace {

using namespace zelkora::ui;
using zelkora::test::window_text;

// The open confirmation dialog of this thread, if any.
HWND open_dialog() {
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM result) -> BOOL {
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            if (std::wstring(name) != kConfirmationWindowClass) return TRUE;
            *reinterpret_cast<HWND*>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

RECT child_rect(HWND dialog, int id) {
    RECT rect{};
    const HWND child = ::GetDlgItem(dialog, id);
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

struct Seen {
    std::wstring caption;
    std::wstring primary_text;
    std::wstring cancel_text;
    bool primary_visible = false;
    int focused_id = 0;
    LRESULT default_id = 0;
    bool owner_enabled = true;
    RECT window{};
    RECT client{};
    RECT primary{};
    RECT cancel{};
};

Seen look_at(HWND dialog, HWND owner) {
    Seen seen;
    seen.caption = window_text(dialog);
    seen.primary_text = window_text(::GetDlgItem(dialog, kPrimaryButton));
    seen.cancel_text = window_text(::GetDlgItem(dialog, kCancelButton));
    seen.primary_visible = ::IsWindowVisible(::GetDlgItem(dialog, kPrimaryButton));
    const HWND focus = ::GetFocus();
    seen.focused_id = focus && ::GetParent(focus) == dialog ? ::GetDlgCtrlID(focus) : 0;
    seen.default_id = ::SendMessageW(dialog, DM_GETDEFID, 0, 0);
    seen.owner_enabled = ::IsWindowEnabled(owner);
    ::GetWindowRect(dialog, &seen.window);
    ::GetClientRect(dialog, &seen.client);
    seen.primary = child_rect(dialog, kPrimaryButton);
    seen.cancel = child_rect(dialog, kCancelButton);
    return seen;
}

using Step = std::function<void(HWND dialog)>;

// A key as the system delivers it: to the focus window, or as a system key
// to the active window when nothing has the focus.
Step press(WPARAM key) {
    return [key](HWND) {
        const HWND focus = ::GetFocus();
        const HWND target = focus ? focus : ::GetActiveWindow();
        if (!target) return;
        ::PostMessageW(target, focus ? WM_KEYDOWN : WM_SYSKEYDOWN, key, 1);
        ::PostMessageW(target, focus ? WM_KEYUP : WM_SYSKEYUP, key, 0xC0000001);
    };
}
Step click(int id) {
    return [id](HWND dialog) { ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); };
}
Step post(UINT message, WPARAM wparam = 0) {
    return [message, wparam](HWND dialog) { ::PostMessageW(dialog, message, wparam, 0); };
}
Step quit(int code) {
    return [code](HWND) { ::PostQuitMessage(code); };
}
Step nothing() {
    return [](HWND) {};
}

// Runs one step per timer tick while a dialog is open, recording the dialog
// before each step. A watchdog closes a dialog the steps failed to end, so a
// fault fails the test instead of hanging it.
class DialogScript {
public:
    DialogScript(HWND owner, std::vector<Step> steps) : owner_(owner), steps_(std::move(steps)) {
        current_ = this;
        tick_timer_ = ::SetTimer(nullptr, 0, 40, &DialogScript::on_tick);
        watchdog_timer_ = ::SetTimer(nullptr, 0, 15000, &DialogScript::on_watchdog);
    }
    ~DialogScript() {
        ::KillTimer(nullptr, tick_timer_);
        ::KillTimer(nullptr, watchdog_timer_);
        current_ = nullptr;
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    std::vector<Seen> seen;
    bool watchdog_fired = false;
    bool all_steps_ran() const { return next_ == steps_.size(); }

private:
    static void CALLBACK on_tick(HWND, UINT, UINT_PTR, DWORD) {
        DialogScript* script = current_;
        const HWND dialog = open_dialog();
        if (!script || !dialog || script->all_steps_ran()) return;
        script->seen.push_back(look_at(dialog, script->owner_));
        script->steps_[script->next_++](dialog);
    }
    static void CALLBACK on_watchdog(HWND, UINT, UINT_PTR, DWORD) {
        const HWND dialog = open_dialog();
        if (!current_ || !dialog) return;
        current_->watchdog_fired = true;
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    }

    static inline DialogScript* current_ = nullptr;
    HWND owner_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    UINT_PTR tick_timer_ = 0;
    UINT_PTR watchdog_timer_ = 0;
};

class ConfirmationDialog : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = ::DefWindowProcW;
        window_class.hInstance = ::GetModuleHandleW(nullptr);
        window_class.lpszClassName = L"ZelkoraDialogTestOwner";
        ::RegisterClassW(&window_class);
        owner_ = ::CreateWindowExW(0, L"ZelkoraDialogTestOwner", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 60,
                                   640, 540, nullptr, nullptr, window_class.hInstance, nullptr);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override {
        if (owner_) ::DestroyWindow(owner_);
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND owner_ = nullptr;
};

enum class Kind { Install, SignatureTrust, Restart, InProgress };

bool open(Kind kind, HWND owner) {
    std::int32_t confirmations = 0;
    switch (kind) {
        case Kind::Install:
            return confirm_install(owner, {}, confirmations);
        case Kind::SignatureTrust:
            return confirm_signature_trust(owner, false);
        case Kind::Restart:
            return confirm_restart(owner, false);
        case Kind::InProgress:
            inform_installation_in_progress(owner, false);
            return false;
    }
    return false;
}

struct AnswerCase {
    const char* name;
    Kind kind;
    Step answer;
    bool accepted;
    const wchar_t* caption;
    const wchar_t* primary_text;
    const wchar_t* cancel_text;
    bool primary_visible;
    int default_id;  // also the button that has the first focus
};

TEST_F(ConfirmationDialog, AnswersFollowKeysAndButtonsWithTheOwnerDisabledMeanwhile) {
    const wchar_t* restart_label = L"저장 완료 · 지금 재시작";
    const AnswerCase cases[] = {
        {"install, Escape declines", Kind::Install, press(VK_ESCAPE), false, L"설치 내용 확인", L"설치", L"취소", true, 1},
        {"install, Enter accepts", Kind::Install, press(VK_RETURN), true, L"설치 내용 확인", L"설치", L"취소", true, 1},
        {"install, Alt+F4 declines", Kind::Install, post(WM_SYSCOMMAND, SC_CLOSE), false, L"설치 내용 확인", L"설치",
         L"취소", true, 1},
        {"restart, Enter declines", Kind::Restart, press(VK_RETURN), false, L"Windows 재시작 확인", restart_label,
         L"취소", true, 2},
        {"restart, primary button accepts", Kind::Restart, click(kPrimaryButton), true, L"Windows 재시작 확인",
         restart_label, L"취소", true, 2},
        {"signature, Enter accepts", Kind::SignatureTrust, press(VK_RETURN), true, L"가상 모니터 드라이버 서명",
         L"신뢰하고 설치", L"취소", true, 1},
        {"signature, cancel button declines", Kind::SignatureTrust, click(kCancelButton), false,
         L"가상 모니터 드라이버 서명", L"신뢰하고 설치", L"취소", true, 1},
        {"in progress, one OK button", Kind::InProgress, press(VK_RETURN), false, L"설치가 진행 중이에요", L"확인",
         L"확인", false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DialogScript script(owner_, {c.answer});
        EXPECT_EQ(open(c.kind, owner_), c.accepted);

        EXPECT_TRUE(script.all_steps_ran());
        EXPECT_FALSE(script.watchdog_fired);
        ASSERT_EQ(script.seen.size(), 1u);
        const Seen& seen = script.seen[0];
        EXPECT_EQ(seen.caption, c.caption);
        if (c.primary_visible) EXPECT_EQ(seen.primary_text, c.primary_text);
        EXPECT_EQ(seen.cancel_text, c.cancel_text);
        EXPECT_EQ(seen.primary_visible, c.primary_visible);
        EXPECT_EQ(seen.focused_id, c.default_id);
        EXPECT_EQ(seen.default_id, MAKELRESULT(c.default_id, DC_HASDEFID));
        EXPECT_FALSE(seen.owner_enabled);

        EXPECT_TRUE(::IsWindowEnabled(owner_));
        EXPECT_EQ(open_dialog(), nullptr);
    }
}

struct FocusedEnterCase {
    const char* name;
    Kind kind;
    bool accepted;
};

// Tab moves the focus off the default button; Enter then presses the button
// that has the focus, not the default one.
TEST_F(ConfirmationDialog, EnterPressesTheFocusedButton) {
    const FocusedEnterCase cases[] = {
        {"install, Enter on cancel declines", Kind::Install, false},
        {"signature, Enter on cancel declines", Kind::SignatureTrust, false},
        {"restart, Enter on the primary button accepts", Kind::Restart, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DialogScript script(owner_, {press(VK_TAB), press(VK_RETURN)});
        EXPECT_EQ(open(c.kind, owner_), c.accepted);
        EXPECT_FALSE(script.watchdog_fired);
        ASSERT_EQ(script.seen.size(), 2u);
        EXPECT_EQ(script.seen[1].focused_id, c.accepted ? kPrimaryButton : kCancelButton);
    }
}

// Messages that the owner and the dialog receive, in order.
class MessageLog {
public:
    explicit MessageLog(HWND owner) : owner_(owner) {
        current_ = this;
        hook_ = ::SetWindowsHookExW(WH_CALLWNDPROC, &MessageLog::on_message, nullptr, ::GetCurrentThreadId());
    }
    ~MessageLog() {
        ::UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    bool hooked() const { return hook_ != nullptr; }
    std::vector<std::string> events;

private:
    static LRESULT CALLBACK on_message(int code, WPARAM wparam, LPARAM lparam) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lparam);
        if (code == HC_ACTION && current_) current_->record(*message);
        return ::CallNextHookEx(nullptr, code, wparam, lparam);
    }
    void record(const CWPSTRUCT& message) {
        if (message.hwnd == owner_ && message.message == WM_ENABLE) {
            events.push_back(message.wParam ? "owner enabled" : "owner disabled");
        }
        wchar_t name[64] = {};
        ::GetClassNameW(message.hwnd, name, 64);
        if (message.message == WM_DESTROY && std::wstring(name) == kConfirmationWindowClass) {
            events.push_back("dialog destroyed");
        }
    }

    static inline MessageLog* current_ = nullptr;
    HWND owner_;
    HHOOK hook_ = nullptr;
};

// Windows hands the activation to another window when the dialog goes, so
// the owner must be enabled first or the setup drops behind other programs.
// Afterwards the keyboard focus is back in the owner.
TEST_F(ConfirmationDialog, TheOwnerIsEnabledBeforeTheDialogGoes) {
    const struct {
        const char* name;
        Step answer;
    } cases[] = {
        {"Enter", press(VK_RETURN)},
        {"Escape", press(VK_ESCAPE)},
        {"cancel button", click(kCancelButton)},
        {"Alt+F4", post(WM_SYSCOMMAND, SC_CLOSE)},
        {"quit", quit(3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MessageLog log(owner_);
        ASSERT_TRUE(log.hooked());
        DialogScript script(owner_, {c.answer});
        open(Kind::Install, owner_);
        EXPECT_TRUE(script.all_steps_ran());
        const std::vector<std::string> expected = {"owner disabled", "owner enabled", "dialog destroyed"};
        EXPECT_EQ(log.events, expected);
        const HWND focus = ::GetFocus();
        EXPECT_TRUE(focus == owner_ || ::IsChild(owner_, focus)) << "the focus is not back in the owner";
        MSG message{};
        ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
}

TEST_F(ConfirmationDialog, TabMovesTheFocusBetweenTheTwoButtons) {
    DialogScript script(owner_, {press(VK_TAB), press(VK_TAB), press(VK_ESCAPE)});
    EXPECT_FALSE(open(Kind::Install, owner_));
    ASSERT_EQ(script.seen.size(), 3u);
    EXPECT_EQ(script.seen[0].focused_id, kPrimaryButton);
    EXPECT_EQ(script.seen[1].focused_id, kCancelButton);
    EXPECT_EQ(script.seen[2].focused_id, kPrimaryButton);
}

TEST_F(ConfirmationDialog, AnOwnerDisabledBeforehandStaysDisabled) {
    ::EnableWindow(owner_, FALSE);
    DialogScript script(owner_, {press(VK_RETURN)});
    EXPECT_TRUE(open(Kind::Install, owner_));
    EXPECT_TRUE(script.all_steps_ran());
    EXPECT_FALSE(::IsWindowEnabled(owner_));
}

TEST_F(ConfirmationDialog, QuitDeclinesAndReachesTheOuterLoop) {
    DialogScript script(owner_, {quit(7)});
    EXPECT_FALSE(open(Kind::Install, owner_));
    EXPECT_TRUE(script.all_steps_ran());
    EXPECT_FALSE(script.watchdog_fired);
    EXPECT_EQ(open_dialog(), nullptr);
    EXPECT_TRUE(::IsWindowEnabled(owner_));

    MSG message{};
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
}

TEST_F(ConfirmationDialog, ADialogThatCannotBeCreatedDeclinesAndLeavesTheOwnerEnabled) {
    // A CBT hook that vetoes the creation of the dialog window.
    struct HookTraits {
        using Value = HHOOK;
        static Value invalid() noexcept { return nullptr; }
        static void close(Value value) noexcept { ::UnhookWindowsHookEx(value); }
    };
    const zelkora::Owner<HookTraits> hook(::SetWindowsHookExW(
        WH_CBT,
        [](int code, WPARAM wparam, LPARAM lparam) -> LRESULT {
            wchar_t name[64] = {};
            if (code == HCBT_CREATEWND) ::GetClassNameW(reinterpret_cast<HWND>(wparam), name, 64);
            if (std::wstring(name) == kConfirmationWindowClass) return 1;
            return ::CallNextHookEx(nullptr, code, wparam, lparam);
        },
        nullptr, ::GetCurrentThreadId()));
    ASSERT_TRUE(hook);

    DialogScript script(owner_, {press(VK_RETURN)});
    EXPECT_FALSE(open(Kind::Install, owner_));
    EXPECT_TRUE(script.seen.empty());
    EXPECT_TRUE(::IsWindowEnabled(owner_));
}

struct InstallCase {
    const char* name;
    bool native_display;
    bool certificate_trusted;
    std::vector<Step> answers;
    bool accepted;
    std::vector<std::wstring> captions;
    int lookups;
};

TEST_F(ConfirmationDialog, InstallConfirmationIsCountedAndAsksForTrustOnlyWhenNeeded) {
    const std::wstring install = L"설치 내용 확인";
    const std::wstring trust = L"가상 모니터 드라이버 서명";
    const InstallCase cases[] = {
        {"client setup, accepted", false, false, {press(VK_RETURN)}, true, {install}, 0},
        {"client setup, declined", false, false, {press(VK_ESCAPE)}, false, {install}, 0},
        {"native display, declined first", true, false, {press(VK_ESCAPE)}, false, {install}, 0},
        {"native display, already trusted", true, true, {press(VK_RETURN)}, true, {install}, 1},
        {"native display, trust accepted", true, false, {press(VK_RETURN), press(VK_RETURN)}, true, {install, trust}, 1},
        {"native display, trust declined", true, false, {press(VK_RETURN), press(VK_ESCAPE)}, false, {install, trust}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::int32_t confirmations = 4;
        int lookups = 0;
        const auto lookup = [&] {
            ++lookups;
            return c.certificate_trusted;
        };
        DialogScript script(owner_, c.answers);
        InstallConfirmationOptions options;
        options.native_display = c.native_display;
        EXPECT_EQ(confirm_install(owner_, options, confirmations, lookup), c.accepted);

        EXPECT_EQ(confirmations, 5);
        EXPECT_EQ(lookups, c.lookups);
        EXPECT_FALSE(script.watchdog_fired);
        std::vector<std::wstring> captions;
        for (const Seen& seen : script.seen) captions.push_back(seen.caption);
        EXPECT_EQ(captions, c.captions);
    }
}

// Button geometry in pixels for a client of the given size and scale.
struct ButtonRects {
    RECT cancel;
    RECT primary;
};

ButtonRects expected_buttons(const RECT& client, double scale) {
    const int width = static_cast<int>(client.right / scale);
    const int row = static_cast<int>(client.bottom / scale) - 62;
    const auto px = [scale](double dips) { return static_cast<LONG>(dips * scale); };
    return {RECT{px(width - 294), px(row), px(width - 294) + px(84), px(row) + px(38)},
            RECT{px(width - 198), px(row), px(width - 198) + px(170), px(row) + px(38)}};
}

void expect_rect(const RECT& actual, const RECT& expected) {
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.bottom, expected.bottom);
}

TEST_F(ConfirmationDialog, IsSizedCentredAndRelaidOutOnADpiChange) {
    RECT at_150{200, 100, 200 + 800, 100 + 640};
    const RECT too_low{10, 10, 300, 300};
    DialogScript script(owner_, {
                                    [&](HWND dialog) {
                                        ::SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(144, 144),
                                                       reinterpret_cast<LPARAM>(&at_150));
                                    },
                                    [&](HWND dialog) {
                                        ::SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(40, 40),
                                                       reinterpret_cast<LPARAM>(&too_low));
                                        ::SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(192, 192), 0);
                                    },
                                    press(VK_ESCAPE),
                                });
    EXPECT_FALSE(open(Kind::Install, owner_));
    ASSERT_EQ(script.seen.size(), 3u);

    const UINT dpi = ::GetDpiForWindow(owner_);
    const double scale = dpi / 96.0;
    const Seen& first = script.seen[0];
    EXPECT_EQ(first.client.right, static_cast<LONG>(520 * scale));
    RECT frame = first.client;
    ::AdjustWindowRectExForDpi(&frame, WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, FALSE, WS_EX_DLGMODALFRAME, dpi);
    EXPECT_EQ(first.window.right - first.window.left, frame.right - frame.left);
    EXPECT_EQ(first.window.bottom - first.window.top, frame.bottom - frame.top);
    RECT owner{};
    ::GetWindowRect(owner_, &owner);
    EXPECT_NEAR((first.window.left + first.window.right) / 2, (owner.left + owner.right) / 2, 1);
    EXPECT_NEAR((first.window.top + first.window.bottom) / 2, (owner.top + owner.bottom) / 2, 1);
    const ButtonRects at_start = expected_buttons(first.client, scale);
    expect_rect(first.cancel, at_start.cancel);
    expect_rect(first.primary, at_start.primary);

    // Moved to a 150 % monitor: the suggested rectangle and a scale of 1.5.
    const Seen& moved = script.seen[1];
    expect_rect(moved.window, at_150);
    const ButtonRects at_new_scale = expected_buttons(moved.client, 1.5);
    expect_rect(moved.cancel, at_new_scale.cancel);
    expect_rect(moved.primary, at_new_scale.primary);
    EXPECT_EQ(moved.primary.right - moved.primary.left, 255);

    // A DPI below 48, or no rectangle, changes nothing.
    const Seen& unchanged = script.seen[2];
    expect_rect(unchanged.window, at_150);
    expect_rect(unchanged.primary, moved.primary);
}

using Sha1 = zelkora::ui::Sha1Hash;

std::optional<Sha1> first_machine_root_certificate() {
    const zelkora::UniqueCertStore store(::CertOpenStore(
        CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, L"Root"));
    if (!store) return std::nullopt;
    const PCCERT_CONTEXT certificate = ::CertEnumCertificatesInStore(store.get(), nullptr);
    if (!certificate) return std::nullopt;
    const zelkora::UniqueCertificate owned(certificate);
    Sha1 hash{};
    DWORD size = static_cast<DWORD>(hash.size());
    if (!::CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash.data(), &size)) {
        return std::nullopt;
    }
    return hash;
}

TEST(CertificateLookup, NeedsTheCertificateInEveryExistingStore) {
    const auto present = first_machine_root_certificate();
    ASSERT_TRUE(present) << "the machine Root store is empty";
    Sha1 absent = *present;
    absent[0] ^= 0xFF;

    struct Case {
        const char* name;
        std::vector<const wchar_t*> stores;
        Sha1 hash;
        bool expected;
    };
    const Case cases[] = {
        {"present in Root", {L"Root"}, *present, true},
        {"absent from Root", {L"Root"}, absent, false},
        // Wine has no TrustedPublisher store; a store that does not exist holds nothing.
        {"a missing store", {L"Root", L"ZelkoraNoSuchStore"}, *present, false},
        {"no stores at all", {}, *present, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(certificate_in_machine_stores(c.stores, c.hash), c.expected);
    }
    // A missing store must not have been created by the lookup.
    const zelkora::UniqueCertStore created(::CertOpenStore(
        CERT_STORE_PROV_SYSTEM_W, 0, 0,
        CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG,
        L"ZelkoraNoSuchStore"));
    EXPECT_FALSE(created);

    EXPECT_FALSE(signing_certificate_trusted());
}

}  // namespace
