// What a screen reader finds in the real setup, read from this process as a
// reader reads it from its own: the accessible tree of each preview, the tree
// of a scripted installation after each step and after its result, and the
// announcements heard during such a run.
#include <gtest/gtest.h>

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
    Tree window;
};

class AccessibleTrees : public testing::TestWithParam<PreviewTree> {};

TEST_P(AccessibleTrees, ReadTheWindowAsItIsPainted) {
    const PreviewTree& c = GetParam();
    const auto setup = start_process(setup_exe_path(), c.arguments);
    ASSERT_TRUE(setup);
    const HWND window = wait_for_window(setup->id, kWindowClass, 15s);
    ASSERT_NE(window, nullptr);
    const Tree tree = tree_once_it_reads(window, c.window, 20s);
    EXPECT_EQ(tree, c.window) << printed(tree);
    ::TerminateProcess(setup->process.get(), 0);
    wait_for_exit(*setup, 15s);
}

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
        PreviewTree{L"--preview-confirm", joined({kPreviewHeader, kReadyView, kCloseButton})},
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
        PreviewTree{L"--preview-restart-confirm", joined({kPreviewHeader, kCompletedView, kCloseButton})},
        PreviewTree{L"--preview-notice", joined({kPreviewHeader, kReadyView, kCloseButton})}));

// A scripted installation that pauses after each step, long enough to read
// the tree in between: while the progress view animates, each call of a
// reader waits for a paint, and a whole walk takes seconds under Wine.
const std::string kSlowScenario =
    "sleep 1000\nsend 0|설치를 시작했어요\nsleep 8000\n"
    "send 1|대상 경로를 확인했어요\nsleep 8000\n"
    "send 2|파일을 {0} 배치했어요\nsleep 8000\n"
    "send 3|설치 정보를 확인했어요\nsleep 8000\n"
    "send 4|바로가기를 만들었어요\nsleep 8000\n"
    "send 5|파일을 검증했어요\nsleep 8000\n"
    "send 6|설치를 마쳤어요\n";

class AccessibleRun : public testing::Test {
protected:
    void SetUp() override {
        const fs::path folder = fs::path(L"C:\\zelkora-e2e") / "accessible-run";
        fs::remove_all(folder);
        folder_ = folder.wstring();
        make_folders(folder_);
        write_file(zelkora::core::join_path(folder_, L"Install-Client.ps1"), kSlowScenario);
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
    start_installation();
    for (const StepTree& step : steps) {
        const Tree expected = progress_tree(step);
        const Tree tree = tree_once_it_reads(window_, expected, 30s);
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
