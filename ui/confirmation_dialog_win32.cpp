#include "ui/confirmation_dialog_win32.h"

#include <climits>
#include <string>
#include <utility>

namespace zelkora::ui {
namespace {

DialogRequest install_request(HWND owner, bool preview) {
    DialogRequest request;
    request.owner = owner;
    request.title = L"설치 내용 확인";
    request.heading = L"Zelkora 클라이언트를 설치할까요?";
    request.body =
        L"현재 Windows 사용자에게 프로그램과 바로가기를 설치해요.\n"
        L"진행 중인 원격 연결은 끊어져요. 기존 서버 주소와 로그인 기억 설정은 그대로예요.";
    request.caution_text = preview ? L"화면 미리보기예요. 실제로 설치하지 않아요."
                                   : L"실행 중인 기존 클라이언트를 닫고 새 버전으로 바꿔요.";
    request.primary_label = L"설치";
    return request;
}

}  // namespace

bool confirm(DialogRequest request, bool embedded_fonts_in_gdi) {
    request.information_only = false;
    return run_dialog(request, embedded_fonts_in_gdi);
}

void inform(HWND owner, std::wstring_view title_and_heading, std::wstring_view body, bool embedded_fonts_in_gdi) {
    DialogRequest request;
    request.owner = owner;
    request.title = request.heading = std::wstring(title_and_heading);
    request.body = std::wstring(body);
    request.caution_text = L"설치는 계속 진행돼요.";
    request.primary_label = L"확인";
    request.cancel_is_default = true;
    request.information_only = true;
    static_cast<void>(run_dialog(request, embedded_fonts_in_gdi));  // a notice: its only answer is "seen"
}

bool confirm_install(HWND owner, const InstallConfirmationOptions& options, std::int32_t& confirmations,
                     const std::function<bool()>& certificate_trusted) {
    if (confirmations < INT32_MAX) ++confirmations;
    if (!confirm(install_request(owner, options.preview), options.embedded_fonts_in_gdi)) return false;
    if (!options.native_display) return true;
    if (certificate_trusted && certificate_trusted()) return true;
    return confirm_signature_trust(owner, options.embedded_fonts_in_gdi);
}

bool confirm_signature_trust(HWND owner, bool embedded_fonts_in_gdi) {
    DialogRequest request;
    request.owner = owner;
    request.title = L"가상 모니터 드라이버 서명";
    request.heading = L"가상 모니터 드라이버의 서명을 신뢰할까요?";
    request.body =
        L"Zelkora 자체 드라이버에는 Windows 서명이 없어서, 가상 모니터 장치만 오픈소스 "
        L"Vibepollo(Sunshine 계열)의 서명된 원본 드라이버를 그대로 써요. "
        L"Host 서비스와 스트리밍 엔진은 Zelkora 것이에요.";
    request.caution_text = L"동의하지 않으면 기존 Host를 바꾸지 않아요. 새 인증서 발급이나 외부 인증 신청은 하지 않아요.";
    request.primary_label = L"신뢰하고 설치";
    request.detail_rows = {
        {L"서명자", L"Sunshine Virtual Display Release Signing", false},
        {L"지문", kSigningCertificateThumbprint, true},
        {L"등록 위치", L"이 컴퓨터의 Root · TrustedPublisher 저장소", false},
    };
    return confirm(std::move(request), embedded_fonts_in_gdi);
}

bool confirm_restart(HWND owner, bool embedded_fonts_in_gdi) {
    DialogRequest request;
    request.owner = owner;
    request.title = L"Windows 재시작 확인";
    request.heading = L"이 Windows를 지금 재시작할까요?";
    request.body =
        L"열려 있는 파일과 작업을 먼저 저장하세요. 이 Windows의 사용자와 원격 연결이 모두 끊겨요.\n"
        L"프로그램을 강제로 종료하지 않아요. 저장하지 않은 작업이 있으면 Windows가 재시작을 보류하거나 "
        L"취소할 수 있어요.";
    request.caution_text = L"작업을 저장한 뒤 선택하세요. 취소하면 재시작하지 않아요.";
    request.primary_label = L"저장 완료 · 지금 재시작";
    request.cancel_is_default = true;
    return confirm(std::move(request), embedded_fonts_in_gdi);
}

void inform_installation_in_progress(HWND owner, bool embedded_fonts_in_gdi) {
    inform(owner, L"설치가 진행 중이에요",
           L"Windows 승인 창이 열려 있는지 확인하고 잠시 기다려 주세요.\n끝나면 이 창에서 결과를 알려 드려요.",
           embedded_fonts_in_gdi);
}

}  // namespace zelkora::ui
