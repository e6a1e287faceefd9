// What a screen reader finds in the real setup, read from this process as a
// reader reads it from its own: the accessible tree of each preview, the tree
// of a scripted installation after each step and after its result, and the
// announcements heard during such a run.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "accessible_walk.h"
#include "core/path_join.h"
#include "core/text_encoding.h"
#include "core/wide.h"
#include "file_tree.h"
#include "setup_version.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora::test;
namespace fs = std::filesystem;
using Tree = std::vector<std::wstring>;

constexpr wchar_t kWindowClass[] = L"ZelkoraProductSetup028";

std::string printed(const Tree& tree) {
    std::string text;
    for (const auto& line : tree) text += zelkora::utf16_to_utf8(zelkora::from_wide(line)) + "\n";
    return text;
}

// Reads until the tree is the expected one or the limit passes; the last
// tree read. A walk is many calls, so one read may straddle a change.
Tree tree_once_it_reads(HWND window, const Tree& expected, std::chrono::milliseconds limit) {
    Tree tree;
    wait_until(
        [&] {
            tree = zelkora::a11y::accessible_tree(window);
            return tree == expected;
        },
        limit);
    return tree;
}

const Tree kPreviewHeader = {
    L"client: Zelkora 설치 화면 미리보기",
    L"  text: Zelkora",
    L"  text: Client  1.0.0 · 설치",
    L"  text: 화면 미리보기",
};

const Tree kReadyView = {
    L"  text: 클라우드 데스크톱 시작하기",
    L"  text: 현재 Windows 사용자에게 클라이언트를 설치해요.",
    L"  list: 설치할 내용",
    L"    item: 클라이언트 파일 = 필요한 구성 요소를 함께 설치",
    L"    item: 서버·로그인 설정 = 기존 설정을 그대로 유지",
    L"    item: 바탕 화면 바로가기 = 설치 후 바로 실행",
    L"  text: 설치할 때 열려 있는 Zelkora는 닫혀요. 서버 주소와 로그인 설정은 그대로예요.",
    L"  text: 이 PC에 설치돼요",
};

const Tree kCompletedView = {
    L"  text: 설치를 마쳤어요",
    L"  text: Zelkora를 열고 내 데스크톱에 로그인하세요.",
};

Tree joined(std::initializer_list<Tree> parts) {
    Tree tree;
    for (const Tree& part : parts) tree.insert(tree.end(), part.begin(), part.end());
    return tree;
}

struct PreviewTree {
    const wchar_t* arguments;
    Tree window;                           // empty: the preview shows no setup window
    const wchar_t* other_class = nullptr;  // the dialog over it, or the splash
    Tree other;
};

class AccessibleTrees : public testing::TestWithParam<PreviewTree> {};

void expect_tree(DWORD process_id, const wchar_t* window_class, const Tree& expected) {
    const HWND window = wait_for_window(process_id, window_class, 15s);
    ASSERT_NE(window, nullptr);
    const Tree tree = tree_once_it_reads(window, expected, 20s);
    EXPECT_EQ(tree, expected) << printed(tree);
}

TEST_P(AccessibleTrees, ReadEachWindowAsItIsPainted) {
    const PreviewTree& c = GetParam();
    const auto setup = start_process(setup_exe_path(), c.arguments);
    ASSERT_TRUE(setup);
    if (!c.window.empty()) expect_tree(setup->id, kWindowClass, c.window);
    if (c.other_class) expect_tree(setup->id, c.other_class, c.other);
    ::TerminateProcess(setup->process.get(), 0);
    wait_for_exit(*setup, 15s);
}

constexpr wchar_t kDialogClass[] = L"ZelkoraSetupConfirmation";
constexpr wchar_t kSplashClass[] = L"ZelkoraUpdateSplash";

const Tree kCloseButton = {L"  button: 미리보기 닫기"};

INSTANTIATE_TEST_SUITE_P(
    Previews, AccessibleTrees,
    testing::Values(
        PreviewTree{L"--preview", joined({kPreviewHeader, kReadyView, kCloseButton})},
        PreviewTree{L"--preview-progress",
                    joined({kPreviewHeader,
                            {
                                L"  text: 설치하고 있어요",
                                L"  text: 끝날 때까지 이 창을 열어 두세요.",
                                L"  list: 설치 단계",
                                L"    item: 설치 파일·대상 경로 확인 = 완료",
                                L"    item: 프로그램 파일 배치 = 완료",
                                L"    item: 설치 정보 확인 = 완료",
                                L"    item: 바로가기 생성 = 진행 중",
                                L"    item: 설치 파일 무결성 확인 = 대기",
                                L"    item: 클라이언트 준비 = 대기",
                                L"  text: 서버 등록 정보 보존 완료 · 가상 화면을 준비하고 있어요.",
                                L"  progress: 설치 진행률 = 3 / 6",
                            },
                            kCloseButton})},
        PreviewTree{L"--preview-complete", joined({kPreviewHeader, kCompletedView, kCloseButton})},
        // The script's three raw lines become one note, its body joined.
        PreviewTree{L"--preview-failure",
                    joined({kPreviewHeader,
                            {
                                L"  text: 설치하지 못했어요",
                                L"  text: 아래 내용을 확인한 뒤 다시 시도하세요.",
                                L"  text: 설치 대상 파일을 다른 프로그램이 쓰고 있어요",
                                L"  text: 열려 있는 Zelkora 설정 창을 닫은 뒤 다시 시도하세요. 기존 등록 정보는 "
                                L"그대로예요.",
                                L"  button: 진단 복사",
                            },
                            kCloseButton})},
        PreviewTree{L"--preview-confirm", joined({kPreviewHeader, kReadyView, kCloseButton}), kDialogClass,
                    {
                        L"client: 설치 내용 확인",
                        L"  text: Zelkora 클라이언트를 설치할까요?",
                        L"  text: 현재 Windows 사용자에게 프로그램과 바로가기를 설치해요.",
                        L"  text: 진행 중인 원격 연결은 끊어져요. 기존 서버 주소와 로그인 기억 설정은 그대로예요.",
                        L"  text: 화면 미리보기예요. 실제로 설치하지 않아요.",
                        L"  button: 취소",
                        L"  button: 설치",
                    }},
        PreviewTree{L"--preview-attention",
                    joined({kPreviewHeader,
                            {
                                L"  text: 설치를 마쳤어요",
                                L"  text: Host 설정에서 가상 화면 상태를 확인하세요.",
                                L"  text: 가상 화면 구성은 보류됐어요",
                                L"  text: 확인 코드: viewport_recovery_required. Windows 서비스를 설치했고 기존 VM "
                                L"등록은 그대로예요.",
                                L"  button: 자세히 보기  +",
                                L"  button: 진단 복사",
                            },
                            kCloseButton})},
        PreviewTree{L"--preview-restart", joined({kPreviewHeader, kCompletedView, kCloseButton})},
        PreviewTree{L"--preview-restart-confirm", joined({kPreviewHeader, kCompletedView, kCloseButton}),
                    kDialogClass,
                    {
                        L"client: Windows 재시작 확인",
                        L"  text: 이 Windows를 지금 재시작할까요?",
                        L"  text: 열려 있는 파일과 작업을 먼저 저장하세요. 이 Windows의 사용자와 원격 연결이 모두 "
                        L"끊겨요.",
                        L"  text: 프로그램을 강제로 종료하지 않아요. 저장하지 않은 작업이 있으면 Windows가 재시작을 "
                        L"보류하거나 취소할 수 있어요.",
                        L"  text: 작업을 저장한 뒤 선택하세요. 취소하면 재시작하지 않아요.",
                        L"  button: 취소",
                        L"  button: 저장 완료 · 지금 재시작",
                    }},
        // One button: the hidden primary is not read.
        PreviewTree{L"--preview-notice", joined({kPreviewHeader, kReadyView, kCloseButton}), kDialogClass,
                    {
                        L"client: 설치가 진행 중이에요",
                        L"  text: 설치가 진행 중이에요",
                        L"  text: Windows 승인 창이 열려 있는지 확인하고 잠시 기다려 주세요.",
                        L"  text: 끝나면 이 창에서 결과를 알려 드려요.",
                        L"  text: 설치는 계속 진행돼요.",
                        L"  button: 확인",
                    }},
        PreviewTree{L"--preview-update-splash", {}, kSplashClass,
                    {
                        L"client: Zelkora 업데이트 적용 중",
                        L"  text: 업데이트 적용 중…",
                        L"  text: Zelkora  0.4.61  →  0.4.62",
                        L"  progress: 업데이트 진행률 = 2 / 6",
                        L"  text: 설치 정보를 확인하고 있어요",
                        L"  text: 끝나면 Zelkora가 같은 자리에서 다시 열려요.",
                    }},
        // Before the first step the bar slides and has no value to read.
        PreviewTree{L"--preview-update-splash-light", {}, kSplashClass,
                    {
                        L"client: Zelkora 업데이트 적용 중",
                        L"  text: 업데이트 적용 중…",
                        L"  text: Zelkora  0.4.61  →  0.4.62",
                        L"  progress: 업데이트 진행률",
                        L"  text: 설치 프로그램을 확인하고 있어요",
                        L"  text: 끝나면 Zelkora가 같은 자리에서 다시 열려요.",
                    }}));

// A scripted installation that pauses after each step.
std::string scenario_pausing(int milliseconds) {
    const std::string pause = "sleep " + std::to_string(milliseconds) + "\n";
    return "sleep 1000\nsend 0|설치를 시작했어요\n" + pause + "send 1|대상 경로를 확인했어요\n" + pause +
           "send 2|파일을 {0} 배치했어요\n" + pause + "send 3|설치 정보를 확인했어요\n" + pause +
           "send 4|바로가기를 만들었어요\n" + pause + "send 5|파일을 검증했어요\n" + pause +
           "send 6|설치를 마쳤어요\nsleep 4000\n";
}

DWORD child_process(DWORD parent, const wchar_t* image) {
    const zelkora::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, image) == 0) return entry.th32ProcessID;
    }
    return 0;
}

// Holds or releases every thread of a process, so that the script stops
// between two steps while the tree is read: a walk is many calls, and while
// the progress view animates each call waits for a paint.
void hold_process(DWORD process_id, bool hold) {
    const zelkora::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != process_id) continue;
        const zelkora::UniqueHandle thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
        if (!thread) continue;
        if (hold) {
            ::SuspendThread(thread.get());
        } else {
            ::ResumeThread(thread.get());
        }
    }
}

// The highest step, as the window's hidden progress bar mirrors it.
int shown_step(HWND window) {
    const HWND bar = ::FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr);
    return bar ? static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0)) : -1;
}

class AccessibleRun : public testing::Test {
protected:
    void start(int pause_ms) {
        const fs::path folder = fs::path(L"C:\\zelkora-e2e") / "accessible-run";
        fs::remove_all(folder);
        folder_ = folder.wstring();
        make_folders(folder_);
        write_file(zelkora::core::join_path(folder_, L"Install-Client.ps1"), scenario_pausing(pause_ms));
        setup_path_ = zelkora::core::join_path(folder_, zelkora::to_wide(zelkora::kSetupFileName));
        ASSERT_TRUE(::CopyFileW(setup_exe_path().c_str(), setup_path_.c_str(), FALSE)) << ::GetLastError();
        auto started = start_process(setup_path_, L"");
        ASSERT_TRUE(started);
        setup_ = std::move(*started);
        window_ = wait_for_window(setup_.id, kWindowClass, 15s);
        ASSERT_NE(window_, nullptr);
    }

    void TearDown() override {
        if (setup_.process) {
            ::TerminateProcess(setup_.process.get(), 0);
            wait_for_exit(setup_, 15s);
        }
    }

    // Presses "설치 시작" and accepts the install confirmation.
    void start_installation() {
        press_button(window_, 1);
        const HWND dialog = wait_for_window(setup_.id, L"ZelkoraSetupConfirmation", 10s);
        ASSERT_NE(dialog, nullptr);
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }

    std::wstring folder_;
    std::wstring setup_path_;
    StartedProcess setup_;
    HWND window_ = nullptr;
};

struct StepTree {
    int step;
    const wchar_t* status;
    std::vector<const wchar_t*> states;  // of the six steps
};

Tree progress_tree(const StepTree& s) {
    static const wchar_t* kSteps[] = {L"설치 파일·대상 경로 확인", L"프로그램 파일 배치", L"설치 정보 확인",
                                      L"바로가기 생성",           L"설치 파일 무결성 확인", L"클라이언트 준비"};
    Tree tree = {
        L"client: Zelkora Client 설치",
        L"  text: Zelkora",
        L"  text: Client  1.0.0 · 설치",
        L"  text: 설치하고 있어요",
        L"  text: 끝날 때까지 이 창을 열어 두세요.",
        L"  list: 설치 단계",
    };
    for (int k = 0; k < 6; ++k) tree.push_back(std::wstring(L"    item: ") + kSteps[k] + L" = " + s.states[k]);
    tree.push_back(std::wstring(L"  text: ") + s.status);
    tree.push_back(L"  progress: 설치 진행률 = " + std::to_wstring(s.step) + L" / 6");
    tree.push_back(L"  button: 닫기 [unavailable]");
    tree.push_back(L"  button: 설치 중… [unavailable]");
    return tree;
}

TEST_F(AccessibleRun, TreeFollowsEveryStepAndTheResult) {
    const std::vector<StepTree> steps = {
        {1, L"대상 경로를 확인했어요", {L"완료", L"진행 중", L"대기", L"대기", L"대기", L"대기"}},
        // Read as painted: the brace group is gone.
        {2, L"파일을 배치했어요", {L"완료", L"완료", L"진행 중", L"대기", L"대기", L"대기"}},
        {3, L"설치 정보를 확인했어요", {L"완료", L"완료", L"완료", L"진행 중", L"대기", L"대기"}},
        {4, L"바로가기를 만들었어요", {L"완료", L"완료", L"완료", L"완료", L"진행 중", L"대기"}},
        {5, L"파일을 검증했어요", {L"완료", L"완료", L"완료", L"완료", L"완료", L"진행 중"}},
    };
    ASSERT_NO_FATAL_FAILURE(start(2000));
    ASSERT_NO_FATAL_FAILURE(start_installation());
    DWORD script = 0;
    ASSERT_TRUE(wait_until([&] { return (script = child_process(setup_.id, L"powershell.exe")) != 0; }, 15s));
    for (const StepTree& step : steps) {
        ASSERT_TRUE(wait_until([&] { return shown_step(window_) == step.step; }, 30s)) << step.step;
        hold_process(script, true);
        const Tree expected = progress_tree(step);
        const Tree tree = tree_once_it_reads(window_, expected, 30s);
        hold_process(script, false);
        EXPECT_EQ(tree, expected) << "step " << step.step << "\n" << printed(tree);
    }
    const Tree result = {
        L"client: Zelkora Client 설치",
        L"  text: Zelkora",
        L"  text: Client  1.0.0 · 설치",
        L"  text: 설치를 마쳤어요",
        L"  text: Zelkora를 열고 내 데스크톱에 로그인하세요.",
        L"  button: 닫기",
    };
    const Tree tree = tree_once_it_reads(window_, result, 60s);
    EXPECT_EQ(tree, result) << printed(tree);
}

}  // namespace

namespace {

// What a reader's out-of-context hook hears from a scripted run, in order.
TEST_F(AccessibleRun, AnnouncesEachChangeOnceAndTheResultAsAnAlert) {
    ASSERT_NO_FATAL_FAILURE(start(5000));
    const zelkora::a11y::EventListener listener(setup_.id, kWindowClass);
    ASSERT_TRUE(listener.hooked());
    ASSERT_NO_FATAL_FAILURE(start_installation());
    DWORD script = 0;
    ASSERT_TRUE(wait_until([&] { return (script = child_process(setup_.id, L"powershell.exe")) != 0; }, 15s));
    // Each event's name is read when it arrives; holding the script after
    // each step keeps the names of that step until they have been read.
    for (int step = 1; step <= 6; ++step) {
        ASSERT_TRUE(wait_until(
            [&] {
                listener.pump(30);
                return shown_step(window_) >= step;
            },
            30s))
            << step;
        hold_process(script, true);
        listener.pump(3000);
        hold_process(script, false);
    }
    ASSERT_TRUE(wait_until(
        [&] {
            listener.pump(200);
            return window_text(::GetDlgItem(window_, 1)) == L"닫기";
        },
        120s));
    listener.pump(3000);  // the last events may still be on their way

    std::vector<std::wstring> expected = {
        L"reorder client: Zelkora Client 설치",
        L"name text: 설치하고 있어요",
        L"name text: 끝날 때까지 이 창을 열어 두세요.",
        L"name button: 닫기 [unavailable]",
        L"state button: 닫기 [unavailable]",
        L"name button: 설치 중… [unavailable]",
        L"state button: 설치 중… [unavailable]",
        L"name text: 설치를 시작했어요",
    };
    const wchar_t* steps[] = {L"설치 파일·대상 경로 확인", L"프로그램 파일 배치", L"설치 정보 확인",
                              L"바로가기 생성",           L"설치 파일 무결성 확인", L"클라이언트 준비"};
    const wchar_t* statuses[] = {L"대상 경로를 확인했어요",  L"파일을 배치했어요",   L"설치 정보를 확인했어요",
                                 L"바로가기를 만들었어요", L"파일을 검증했어요", L"설치를 마쳤어요"};
    for (int step = 1; step <= 6; ++step) {
        expected.push_back(std::wstring(L"value item: ") + steps[step - 1]);
        if (step < 6) expected.push_back(std::wstring(L"value item: ") + steps[step]);
        expected.push_back(std::wstring(L"name text: ") + statuses[step - 1]);
        expected.push_back(L"value progress: 설치 진행률");
    }
    // The result: the window's children change, button 1 closes, and the
    // title is announced.
    expected.insert(expected.end(), {L"reorder client: Zelkora Client 설치", L"name button: 닫기",
                                     L"state button: 닫기", L"alert text: 설치를 마쳤어요"});
    EXPECT_EQ(listener.heard(), expected) << printed(listener.heard());
}

}  // namespace

namespace {

RECT client_box(HWND window, double x, double y, double width, double height, double scale) {
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    const auto px = [scale](double dips) { return static_cast<LONG>(std::lround(dips * scale)); };
    return RECT{origin.x + px(x), origin.y + px(y), origin.x + px(x) + px(width), origin.y + px(y) + px(height)};
}

bool same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Where a reader's magnifier or braille cursor goes: the painted rectangle on
// the screen. (WM_DPICHANGED carries a pointer and cannot be sent from here,
// so this checks the prefix's 96 DPI; the model's boxes are DIPs either way.)
TEST(AccessibleLocations, AreThePaintedRectanglesInScreenPixels) {
    const auto setup = start_process(setup_exe_path(), L"--preview");
    ASSERT_TRUE(setup);
    const HWND window = wait_for_window(setup->id, kWindowClass, 15s);
    ASSERT_NE(window, nullptr);
    const double scale = ::GetDpiForWindow(window) / 96.0;
    RECT client{};
    ::GetClientRect(window, &client);
    const int width = static_cast<int>(client.right / scale);  // in DIPs, as the layout truncates it
    RECT title{};
    ASSERT_TRUE(zelkora::a11y::accessible_location(window, L"클라우드 데스크톱 시작하기", title));
    const RECT expected = client_box(window, 28, 92, width - 56, 32, scale);
    EXPECT_TRUE(same(title, expected)) << title.left << "," << title.top << "," << title.right << ","
                                       << title.bottom << " against " << expected.left << "," << expected.top
                                       << "," << expected.right << "," << expected.bottom;
    RECT button{};
    ASSERT_TRUE(zelkora::a11y::accessible_location(window, L"미리보기 닫기", button));
    RECT painted{};
    ::GetWindowRect(::GetDlgItem(window, 1), &painted);
    EXPECT_TRUE(same(button, painted));
    ::TerminateProcess(setup->process.get(), 0);
    wait_for_exit(*setup, 15s);
}

}  // namespace
