#include "core/installer_command.h"

namespace zelkora::core {
namespace {

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

}  // namespace zelkora::core
