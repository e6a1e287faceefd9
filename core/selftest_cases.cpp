#include "core/selftest_cases.h"

#include <array>

namespace zelkora::core {
namespace {

using enum SelfTestCase;

constexpr std::array kRows = {
    SelfTestRow{completed, u"--selftest",
                u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('1|설치 파일을 확인하고 있어요');"
                u"$w.WriteLine('2|프로그램 파일을 배치하고 있어요');$w.WriteLine('3|설치 정보를 확인하고 있어요');"
                u"$w.WriteLine('4|바로가기를 만들고 있어요');$w.WriteLine('5|무결성을 확인하고 있어요');"
                u"$w.WriteLine('6|설치를 마쳤어요');",
                u"", false, false,
                SelfTestExpectation{.status_text = u"설치를 마쳤어요"}},
    SelfTestRow{failure, u"--selftest-failure",
                u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('1|설치 파일을 확인하고 있어요');"
                u"$w.WriteLine('-1|검사용 설치 실패: 프로그램 파일을 배치하지 못했어요.');",
                u";exit 1", false, false,
                SelfTestExpectation{.view = kRunFailed,
                                    .highest_step = 1,
                                    .failure_seen = true,
                                    .installer_exit_code = 1,
                                    .status_text = u"검사용 설치 실패: 프로그램 파일을 배치하지 못했어요."}},
    SelfTestRow{attention, u"--selftest-attention",
                u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('3|설치 정보를 확인하고 있어요');"
                u"$w.WriteLine('-2|검사용 확인 필요: 가상 화면 설정을 확인하세요.');"
                u"$w.WriteLine('5|무결성을 확인하고 있어요');$w.WriteLine('6|설치를 마쳤어요');",
                u"", false, true,
                SelfTestExpectation{.attention_seen = true,
                                    .status_text = u"설치를 마쳤어요",
                                    .attention_text = u"검사용 확인 필요: 가상 화면 설정을 확인하세요."}},
    SelfTestRow{restart, u"--selftest-restart",
                u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('3|설치 정보를 확인하고 있어요');"
                u"$w.WriteLine('-3|reboot-required-v1');$w.WriteLine('5|무결성을 확인하고 있어요');"
                u"$w.WriteLine('6|설치를 마쳤어요');",
                u"", false, true,
                SelfTestExpectation{.restart_required = true, .status_text = u"설치를 마쳤어요"}},
    SelfTestRow{update, u"--selftest-update",
                u"$w.WriteLine('0|업데이트를 준비하고 있어요');$w.WriteLine('2|프로그램 파일을 배치하고 있어요');"
                u"$w.WriteLine('4|바로가기를 만들고 있어요');$w.WriteLine('6|업데이트를 마쳤어요');",
                u"", true, false,
                SelfTestExpectation{.closed_automatically = true, .status_text = u"업데이트를 마쳤어요"}},
    // The seamless checks run as a seamless update; the application run checks
    // them against the hand-off they answer, not against the window's view.
    SelfTestRow{update_blocked, u"--selftest-update-blocked",
                u"$w.WriteLine('0|업데이트를 준비하고 있어요');$w.WriteLine('-4|existing_install_required');"
                u"$w.WriteLine('-1|검사용 업데이트 차단: 먼저 설치된 Zelkora가 필요해요.');",
                u";exit 1", true, false, {},
                SeamlessExpectation{.outcome = "blocked", .code = "existing_install_required",
                                    .launch = "previous", .checks_splash = false},
                false},
    SelfTestRow{update_splash, u"--selftest-update-splash",
                u"$w.WriteLine('0|업데이트를 준비하고 있어요');$w.WriteLine('2|프로그램 파일을 배치하고 있어요');"
                u"$w.WriteLine('4|바로가기를 만들고 있어요');$w.WriteLine('6|업데이트를 마쳤어요');",
                u"", true, false, {},
                SeamlessExpectation{.ready = true, .outcome = "completed", .launch = "new"}},
    SelfTestRow{update_splash_failure, u"--selftest-update-splash-failure",
                u"$w.WriteLine('0|업데이트를 준비하고 있어요');$w.WriteLine('2|프로그램 파일을 배치하고 있어요');"
                u"$w.WriteLine('-1|검사용 업데이트 실패: 프로그램 파일을 배치하지 못했어요.');",
                u";exit 1", true, false, {},
                SeamlessExpectation{.ready = true, .outcome = "failed", .code = "install_failed", .launch = "previous"}},
    SelfTestRow{update_splash_blocked, u"--selftest-update-splash-blocked",
                u"$w.WriteLine('0|업데이트를 준비하고 있어요');$w.WriteLine('-4|driver_install_required');"
                u"$w.WriteLine('-1|검사용 업데이트 차단: 드라이버를 먼저 설치해야 해요.');",
                u";exit 1", true, false, {},
                SeamlessExpectation{.outcome = "blocked", .code = "driver_install_required", .client_stays = true},
                false},
    SelfTestRow{update_splash_restart, u"--selftest-update-splash-restart",
                u"$w.WriteLine('0|업데이트를 준비하고 있어요');$w.WriteLine('3|설치 정보를 확인하고 있어요');"
                u"$w.WriteLine('-3|reboot-required-v1');$w.WriteLine('5|무결성을 확인하고 있어요');"
                u"$w.WriteLine('6|업데이트를 마쳤어요');",
                u"", true, false, {},
                SeamlessExpectation{.ready = true, .outcome = "completed", .restart_required = true, .launch = "new"}},
    SelfTestRow{interrupted, u"--selftest-interrupted",
                u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('2|프로그램 파일을 배치하고 있어요');"
                u"$w.WriteLine('3|설치 정보를 확인하고 있어요');",
                u";exit 3", false, false,
                SelfTestExpectation{.view = kRunFailed, .highest_step = 3, .installer_exit_code = 3}},
};

}  // namespace

std::span<const SelfTestRow> selftest_rows() { return kRows; }

const SelfTestRow* find_selftest(SelfTestCase id) {
    for (const auto& row : kRows) {
        if (row.id == id) return &row;
    }
    return nullptr;
}

const SelfTestRow* find_selftest_switch(std::u16string_view argument) {
    for (const auto& row : kRows) {
        if (row.switch_text == argument) return &row;
    }
    return nullptr;
}

std::u16string selftest_arguments(SelfTestCase id, std::u16string_view pipe_name) {
    const SelfTestRow* row = find_selftest(id);
    if (!row || row->script_lines.empty()) return {};
    // Every script begins with the preflight line, but those blocked before
    // it, and ends by closing the pipe; the failing ones then exit with
    // their code.
    std::u16string text = u"-NoProfile -NonInteractive -Command \"$p=New-Object IO.Pipes.NamedPipeClientStream('.', '";
    text += pipe_name;
    text += u"', [IO.Pipes.PipeDirection]::Out);$p.Connect(5000);"
            u"$w=New-Object IO.StreamWriter($p,[Text.UTF8Encoding]::new($false));$w.AutoFlush=$true;";
    if (row->preflight_first) text += u"$w.WriteLine('-5|preflight-complete-v1');";
    text += row->script_lines;
    text += u"$w.Dispose();$p.Dispose()";
    text += row->exit_statement;
    text += u"\"";
    return text;
}

bool is_splash_selftest(SelfTestCase id) {
    const SelfTestRow* row = find_selftest(id);
    return row && !row->seamless.outcome.empty();
}

bool splash_selftest_passed(const SplashSelfTestReport& report, std::string_view own_version) {
    const SelfTestRow* row = find_selftest(report.selftest_case);
    if (!row || row->seamless.outcome.empty()) return false;
    const SeamlessExpectation& want = row->seamless;
    std::vector<std::string> expected_launches;
    if (want.launch == "new") expected_launches.push_back("new:" + std::string(own_version));
    if (want.launch == "previous") expected_launches.push_back("previous:" + std::string(kSplashSelfTestFromVersion));
    const bool splash_held = !want.checks_splash || (report.splash_geometry && !report.splash_fallback);
    return report.ready_signalled == want.ready && report.outcome == want.outcome && report.code == want.code &&
           report.restart_required == want.restart_required && report.event_signalled &&
           report.launches == expected_launches && splash_held && !report.full_window_shown &&
           report.install_confirmations == 0;
}

std::string splash_selftest_line(const SplashSelfTestReport& report, bool passed) {
    std::string launches;
    for (const auto& launch : report.launches) {
        if (!launches.empty()) launches += ',';
        launches += launch;
    }
    const auto or_dash = [](const std::string& text) { return text.empty() ? std::string("-") : text; };
    std::string line = "seamlessCase=" + std::to_string(static_cast<unsigned>(report.selftest_case));
    line += " splashGeometry=" + std::to_string(report.splash_geometry);
    line += " readySignalled=" + std::to_string(report.ready_signalled);
    line += " readyStage=" + std::to_string(report.ready_stage);
    line += " outcome=" + or_dash(report.outcome);
    line += " code=" + or_dash(report.code);
    line += " stage=" + std::to_string(report.stage);
    line += " restartRequired=" + std::to_string(report.restart_required);
    line += " launches=" + or_dash(launches);
    line += " fullWindowShown=" + std::to_string(report.full_window_shown);
    line += " installConfirmations=" + std::to_string(report.install_confirmations);
    line += " recordRemoved=" + std::to_string(report.record_removed);
    line += " passed=" + std::to_string(passed) + "\n";
    return line;
}

std::u16string expected_selftest_status(const SelfTestRow& row) {
    if (!row.expect.status_text.empty()) return std::u16string(row.expect.status_text);
    return interrupted_installer_message(Flavour::client, row.expect.highest_step);
}

}  // namespace zelkora::core
