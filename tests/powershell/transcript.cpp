#include "transcript.h"

#include <windows.h>

#include <cstdio>

#include "core/owners_win32.h"

namespace zelkora::standin {
namespace {

bool g_transcript_failed = false;

std::wstring transcript_path() {
    const DWORD size = ::GetEnvironmentVariableW(kTranscriptVariable, nullptr, 0);
    if (size == 0) return {};
    std::wstring path(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(kTranscriptVariable, path.data(), size);
    if (length == 0 || length >= size) return {};
    path.resize(length);
    return path;
}

std::size_t valid_multibyte_length(std::string_view rest) {
    // The first prefix that decodes is the whole sequence: shorter prefixes
    // of a longer sequence are truncated and fail.
    for (std::size_t length = 2; length <= 4 && length <= rest.size(); ++length) {
        if (wide_from_utf8(rest.substr(0, length))) return length;
    }
    return 0;
}

void append_hex_escape(std::string& out, unsigned char byte) {
    constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
}

}  // namespace

void record(std::string_view line) {
    const std::wstring path = transcript_path();
    if (path.empty()) return;
    // Append-only access makes every write land at the current end, even
    // when parent and child write in turn.
    UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text(line);
    text.push_back('\n');
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        g_transcript_failed = true;
        std::fprintf(stderr, "powershell stand-in: cannot append to the transcript (error %lu)\n",
                     static_cast<unsigned long>(::GetLastError()));
    }
}

void record_error(std::string_view message) {
    const std::string line = "error " + printable(message);
    std::fprintf(stderr, "powershell stand-in: %s\n", line.c_str());
    record(line);
}

bool transcript_failed() { return g_transcript_failed; }

std::string printable(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        if (const std::size_t length = valid_multibyte_length(bytes.substr(i)); length != 0) {
            out.append(bytes.substr(i, length));
            i += length;
            continue;
        }
        append_hex_escape(out, byte);
        ++i;
    }
    return out;
}

std::string decimal(std::uint64_t value) { return std::to_string(value); }

}  // namespace zelkora::standin
