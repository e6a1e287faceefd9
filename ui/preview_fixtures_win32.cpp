#include "ui/preview_fixtures_win32.h"

#include "ui/confirmation_dialog_win32.h"

namespace zelkora::ui {
namespace {

enum PreviewCase : int {
    kReady = 0,
    kProgress = 1,
    kComplete = 2,
    kFailure = 3,
    kConfirm = 4,
    kAttention = 5,
    kRestart = 6,
    kRestartConfirm = 7,
    kNotice = 8,
    kUpdateSplash = 9,
    kUpdateSplashLight = 10,
};

constexpr char16_t kRestartStatus[] =
    u"Host 서비스 설치를 마쳤어요. 가상 화면 드라이버가 Windows 재시작을 요청했어요.\r\n"
    u"지금 재시작하거나 작업을 마친 뒤 직접 재시작할 수 있어요.";

}  // namespace

void apply_preview_fixture(WindowState& state) {
    core::RunProgress& progress = state.run.progress;
    switch (state.preview_case) {
        case kProgress:
            state.view = core::kRunInstalling;
            progress.highest_step = 3;
            progress.status_text = u"서버 등록 정보 보존 완료 · 가상 화면을 준비하고 있어요.";
            break;
        case kComplete:
            state.view = core::kRunCompleted;
            break;
        case kFailure:
            state.view = core::kRunFailed;
            progress.status_text =
                u"설치 대상 파일을 다른 프로그램이 쓰고 있어요.\r\n열려 있는 Zelkora 설정 창을 닫은 뒤 다시 "
                u"시도하세요.\r\n기존 등록 정보는 그대로예요.";
            break;
        case kAttention:
            state.view = core::kRunCompleted;
            progress.highest_step = 6;
            progress.attention_seen = true;
            progress.attention_text =
                u"가상 화면 구성은 보류됐어요. 확인 코드: viewport_recovery_required.\r\nWindows 서비스를 "
                u"설치했고 기존 VM 등록은 그대로예요.";
            progress.status_text =
                u"설치 완료 · Host 서비스 실행 중 · 가상 화면 확인 필요\r\n가상 화면은 Proxmox 콘솔에서 Host "
                u"설정을 열어 확인하세요.";
            break;
        case kRestart:
        case kRestartConfirm:
            state.view = core::kRunCompleted;
            progress.highest_step = 6;
            state.run.restart_required = true;
            progress.status_text = kRestartStatus;
            break;
        default:
            break;
    }
}

bool preview_opens_dialog(const WindowState& state) {
    return state.preview_case == kConfirm || state.preview_case == kRestartConfirm || state.preview_case == kNotice;
}

void open_preview_dialog(WindowState& state) {
    switch (state.preview_case) {
        case kConfirm: {
            InstallConfirmationOptions options;
            options.preview = true;
            options.embedded_fonts_in_gdi = state.embedded_fonts_in_gdi;
            static_cast<void>(confirm_install(state.window, options, state.install_confirmations));
            break;
        }
        case kRestartConfirm:
            static_cast<void>(confirm_restart(state.window, state.embedded_fonts_in_gdi));
            break;
        case kNotice:
            inform_installation_in_progress(state.window, state.embedded_fonts_in_gdi);
            break;
        default:
            break;
    }
}

std::optional<PreviewSplash> preview_splash(std::int8_t preview_case) {
    if (preview_case != kUpdateSplash && preview_case != kUpdateSplashLight) return std::nullopt;
    PreviewSplash preview;
    preview.options.dark = preview_case == kUpdateSplash;
    preview.options.caption = splash_caption("0.4.61", "0.4.62");
    preview.options.closable = true;
    preview.stage = preview_case == kUpdateSplash ? 2 : 0;
    return preview;
}

}  // namespace zelkora::ui
