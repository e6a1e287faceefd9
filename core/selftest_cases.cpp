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
    SelfTestRow{update_splash, u"--selftest-update-splash", u"", u"", true, false, {}},
    SelfTestRow{update_splash_failure, u"--selftest-update-splash-failure", u"", u"", true, false,
                {}},
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
    // Every script begins with the preflight line and ends by closing the
    // pipe; the failing ones then exit with their code.
    std::u16string text = u"-NoProfile -NonInteractive -Command \"$p=New-Object IO.Pipes.NamedPipeClientStream('.', '";
    text += pipe_name;
    text += u"', [IO.Pipes.PipeDirection]::Out);$p.Connect(5000);"
            u"$w=New-Object IO.StreamWriter($p,[Text.UTF8Encoding]::new($false));$w.AutoFlush=$true;"
            u"$w.WriteLine('-5|preflight-complete-v1');";
    text += row->script_lines;
    text += u"$w.Dispose();$p.Dispose()";
    text += row->exit_statement;
    text += u"\"";
    return text;
}

std::u16string expected_selftest_status(const SelfTestRow& row) {
    if (!row.expect.status_text.empty()) return std::u16string(row.expect.status_text);
    return interrupted_installer_message(Flavour::client, row.expect.highest_step);
}

}  // namespace zelkora::core
