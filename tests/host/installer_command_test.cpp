#include <gtest/gtest.h>

#include "core/installer_command.h"
#include "core/selftest_cases.h"

namespace {

using zelkora::core::InstallerCommand;

TEST(PipeName, IsThePrefixAndTheGuidBytesInMemoryOrder) {
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 17);
    bytes[15] = 0xAF;
    EXPECT_EQ(zelkora::core::pipe_name_from_guid_bytes(bytes),
              u"ZelkoraHostSetup-00112233445566778899aabbccddeeaf");
}

TEST(InstallerArguments, MatchTheScriptsCommandLineForms) {
    struct Case {
        InstallerCommand command;
        std::u16string expected;
    };
    const Case cases[] = {
        {{u"x", u"p"}, u"-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"x\" -Launch -ProgressPipe p"},
        {{u"x", u"p", false}, u"-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"x\" -ProgressPipe p"},
        {{u"C:\\s\\Install.ps1", u"ZelkoraHostSetup-0", true, true, {true, false}},
         u"-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"C:\\s\\Install.ps1\" -Elevated "
         u"-InstallVirtualDisplay -NativeDisplay -TrustNativeDisplayCertificate -Launch -ProgressPipe "
         u"ZelkoraHostSetup-0"},
        {{u"x", u"p", true, true, {false, false}},
         u"-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"x\" -Elevated -InstallVirtualDisplay "
         u"-Launch -ProgressPipe p"},
        {{u"x", u"p", true, true, {false, true}},
         u"-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"x\" -Elevated -InstallVirtualDisplay "
         u"-Unattended -Launch -ProgressPipe p"},
        {{u"x", u"p", true, true, {false, false}, true},
         u"-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"x\" -Elevated -InstallVirtualDisplay "
         u"-RecoverOnly -ProgressPipe p"},
    };
    for (const auto& c : cases) EXPECT_EQ(zelkora::core::installer_arguments(c.command), c.expected);
}

TEST(SelfTestArguments, ConnectWriteThePreflightFirstAndExitAsTheCaseSays) {
    const std::u16string pipe = u"ZelkoraHostSetup-abc";
    const std::u16string connect =
        u"-NoProfile -NonInteractive -Command \"$p=New-Object IO.Pipes.NamedPipeClientStream('.', '" + pipe +
        u"', [IO.Pipes.PipeDirection]::Out);$p.Connect(5000);$w=New-Object "
        u"IO.StreamWriter($p,[Text.UTF8Encoding]::new($false));$w.AutoFlush=$true;";
    const std::u16string preflight = u"$w.WriteLine('-5|preflight-complete-v1');";
    using enum zelkora::core::SelfTestCase;
    // The blocked cases are refused before preflight, so they never send it.
    const struct {
        zelkora::core::SelfTestCase selftest_case;
        std::u16string_view ending;
        bool preflight;
    } cases[] = {{completed, u"$p.Dispose()\"", true},
                 {failure, u"$p.Dispose();exit 1\"", true},
                 {attention, u"$p.Dispose()\"", true},
                 {restart, u"$p.Dispose()\"", true},
                 {update, u"$p.Dispose()\"", true},
                 {update_blocked, u"$p.Dispose();exit 1\"", false},
                 {update_splash, u"$p.Dispose()\"", true},
                 {update_splash_failure, u"$p.Dispose();exit 1\"", true},
                 {update_splash_blocked, u"$p.Dispose();exit 1\"", false},
                 {update_splash_restart, u"$p.Dispose()\"", true},
                 {interrupted, u"$p.Dispose();exit 3\"", true}};
    for (const auto& c : cases) {
        const auto text = zelkora::core::selftest_arguments(c.selftest_case, pipe);
        const auto number = static_cast<unsigned>(c.selftest_case);
        EXPECT_TRUE(text.starts_with(connect)) << number;
        EXPECT_EQ(text.starts_with(connect + preflight), c.preflight) << number;
        EXPECT_EQ(text.find(preflight) != std::u16string::npos, c.preflight) << number;
        EXPECT_TRUE(text.ends_with(c.ending)) << number;
    }
    // No script for numbers no switch selects.
    for (const auto id : {zelkora::core::SelfTestCase::none, static_cast<zelkora::core::SelfTestCase>(12)}) {
        EXPECT_TRUE(zelkora::core::selftest_arguments(id, pipe).empty()) << static_cast<unsigned>(id);
    }
}

}  // namespace
