#include "core/installer_command.h"

namespace zelkora::core {
namespace {

struct SelfTestScript {
    unsigned selftest_case;
    std::u16string_view lines;  // WriteLine statements after the preflight line
    std::u16string_view exit_statement;
};

// Every self-test script begins with the preflight line and ends by closing
// the pipe; the failing ones then exit with their code.
constexpr SelfTestScript kSelfTestScripts[] = {
    {1,
     u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('1|설치 파일을 확인하고 있어요');"
     u"$w.WriteLine('2|프로그램 파일을 배치하고 있어요');$w.WriteLine('3|설치 정보를 확인하고 있어요');"
     u"$w.WriteLine('4|바로가기를 만들고 있어요');$w.WriteLine('5|무결성을 확인하고 있어요');"
     u"$w.WriteLine('6|설치를 마쳤어요');",
     u""},
    {2,
     u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('1|설치 파일을 확인하고 있어요');"
     u"$w.WriteLine('-1|검사용 설치 실패: 프로그램 파일을 배치하지 못했어요.');",
     u";exit 1"},
    {3,
     u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('3|설치 정보를 확인하고 있어요');"
     u"$w.WriteLine('-2|검사용 확인 필요: 가상 화면 설정을 확인하세요.');"
     u"$w.WriteLine('5|무결성을 확인하고 있어요');$w.WriteLine('6|설치를 마쳤어요');",
     u""},
    {4,
     u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('3|설치 정보를 확인하고 있어요');"
     u"$w.WriteLine('-3|reboot-required-v1');$w.WriteLine('5|무결성을 확인하고 있어요');"
     u"$w.WriteLine('6|설치를 마쳤어요');",
     u""},
    {5,
     u"$w.WriteLine('0|업데이트를 준비하고 있어요');$w.WriteLine('2|프로그램 파일을 배치하고 있어요');"
     u"$w.WriteLine('4|바로가기를 만들고 있어요');$w.WriteLine('6|업데이트를 마쳤어요');",
     u""},
    {11,
     u"$w.WriteLine('0|설치를 준비하고 있어요');$w.WriteLine('2|프로그램 파일을 배치하고 있어요');"
     u"$w.WriteLine('3|설치 정보를 확인하고 있어요');",
     u";exit 3"},
};

constexpr char16_t kHexDigits[] = u"0123456789abcdef";

}  // namespace

std::u16string pipe_name_from_guid_bytes(const std::array<std::uint8_t, 16>& bytes) {
    std::u16string name(kPipeNamePrefix);
    for (const std::uint8_t byte : bytes) {
        name.push_back(kHexDigits[byte >> 4]);
        name.push_back(kHexDigits[byte & 0x0F]);
    }
    return name;
}

std::u16string installer_arguments(const InstallerCommand& command) {
    std::u16string text = u"-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"";
    text += command.script_path;
    text += u"\" ";
    if (command.host) {
        text += u"-Elevated -InstallVirtualDisplay ";
        if (command.host_options.native_display) text += u"-NativeDisplay -TrustNativeDisplayCertificate ";
        if (command.host_options.unattended) text += u"-Unattended ";
    }
    if (command.recover_only) {
        text += u"-RecoverOnly ";
    } else if (command.launch) {
        text += u"-Launch ";
    }
    text += u"-ProgressPipe ";
    text += command.pipe_name;
    return text;
}

std::u16string selftest_arguments(unsigned selftest_case, std::u16string_view pipe_name) {
    for (const auto& script : kSelfTestScripts) {
        if (script.selftest_case != selftest_case) continue;
        std::u16string text =
            u"-NoProfile -NonInteractive -Command \"$p=New-Object IO.Pipes.NamedPipeClientStream('.', '";
        text += pipe_name;
        text += u"', [IO.Pipes.PipeDirection]::Out);$p.Connect(5000);"
                u"$w=New-Object IO.StreamWriter($p,[Text.UTF8Encoding]::new($false));$w.AutoFlush=$true;"
                u"$w.WriteLine('-5|preflight-complete-v1');";
        text += script.lines;
        text += u"$w.Dispose();$p.Dispose()";
        text += script.exit_statement;
        text += u"\"";
        return text;
    }
    return {};
}

}  // namespace zelkora::core
