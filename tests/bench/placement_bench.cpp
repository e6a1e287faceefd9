// Times verified placement against the bare work it cannot avoid, for two
// payloads: 16 files of 16 MiB and 2,000 files of 4 KiB. Each is placed into
// an empty destination, then placed again (all unchanged). The floors use the
// same SHA-256 provider and 1 MiB buffers, with no checks at all:
//   copy floor:          read source, hash, write, flush, read back, hash
//   read-and-hash floor: read and hash the source and the existing target
// Run by hand under Wine:  wine-env run PREFIX placement-bench.exe [ROUNDS [PAYLOAD]]
// Each figure is the fastest of ROUNDS runs (3 by default); Wine's file
// timings are noisy. PAYLOAD, "large" or "small", runs only that one.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/owners_win32.h"
#include "core/wide.h"
#include "payload/file_primitives_win32.h"
#include "payload/placement_win32.h"
#include "tests/windows/file_tree.h"

namespace {

using namespace zelkora;
using namespace zelkora::payload;
using Clock = std::chrono::steady_clock;

struct Payload {
    const char* name;
    int files;
    std::size_t file_size;
};

std::string pseudo_random_bytes(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

PlacementPlan make_payload(const Payload& payload, const std::wstring& bin) {
    PlacementPlan plan;
    plan.source_root = from_wide(bin);
    for (int index = 0; index < payload.files; ++index) {
        const std::wstring relative = L"files\\f" + std::to_wstring(index) + L".bin";
        const std::string bytes = pseudo_random_bytes(payload.file_size, static_cast<std::uint32_t>(index) + 1);
        test::write_file(bin + L"\\" + relative, bytes);
        plan.entries.push_back({from_wide(relative), bytes.size(), test::sha256_of(bytes)});
    }
    return plan;
}

void read_and_hash(HANDLE file, CopyBuffer& buffer) {
    Sha256 hash;
    DWORD count = 0;
    while (::ReadFile(file, buffer.bytes, static_cast<DWORD>(kCopyBufferSize), &count, nullptr) && count > 0) {
        hash.add(buffer.bytes, count);
    }
    hash.finish();
}

UniqueFile open_read(const std::wstring& path) {
    return UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

void copy_floor(const PlacementPlan& plan, const std::wstring& bin, const std::wstring& destination) {
    const auto buffer = make_copy_buffer();
    ::CreateDirectoryW((destination + L"\\files").c_str(), nullptr);
    for (const auto& entry : plan.entries) {
        const std::wstring relative = to_wide(entry.relative_path);
        const UniqueFile source = open_read(bin + L"\\" + relative);
        const UniqueFile target(::CreateFileW((destination + L"\\" + relative).c_str(), GENERIC_READ | GENERIC_WRITE,
                                              0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        Sha256 hash;
        DWORD count = 0;
        while (::ReadFile(source.get(), buffer->bytes, static_cast<DWORD>(kCopyBufferSize), &count, nullptr) &&
               count > 0) {
            hash.add(buffer->bytes, count);
            DWORD written = 0;
            ::WriteFile(target.get(), buffer->bytes, count, &written, nullptr);
        }
        hash.finish();
        ::FlushFileBuffers(target.get());
        LARGE_INTEGER start{};
        ::SetFilePointerEx(target.get(), start, nullptr, FILE_BEGIN);
        read_and_hash(target.get(), *buffer);
    }
}

void read_and_hash_floor(const PlacementPlan& plan, const std::wstring& bin, const std::wstring& destination) {
    const auto buffer = make_copy_buffer();
    for (const auto& entry : plan.entries) {
        const std::wstring relative = to_wide(entry.relative_path);
        read_and_hash(open_read(bin + L"\\" + relative).get(), *buffer);
        read_and_hash(open_read(destination + L"\\" + relative).get(), *buffer);
    }
}

double seconds_of(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void fail_unless(const PlacementResult& result, std::uint64_t written, std::uint64_t unchanged) {
    if (result.ok && result.written == written && result.unchanged == unchanged) return;
    std::fprintf(stderr, "placement went wrong: %s written %llu unchanged %llu\n", result.error.c_str(),
                 static_cast<unsigned long long>(result.written), static_cast<unsigned long long>(result.unchanged));
    std::exit(1);
}

void run(const Payload& payload, const test::ScratchFolder& scratch, int rounds) {
    const std::string name = payload.name;
    const std::wstring bin = scratch / (std::wstring(name.begin(), name.end()) + L"-bin");
    PlacementPlan plan = make_payload(payload, bin);
    plan.containment_root = from_wide(scratch.path());
    const TrustedOwners owners = test::owners_with_current_user();
    const std::uint64_t count = plan.entries.size();

    double first = 1e9, again = 1e9, copy = 1e9, read = 1e9;
    for (int round = 0; round < rounds; ++round) {
        const std::wstring engine_destination = scratch / (L"engine" + std::to_wstring(round));
        const std::wstring floor_destination = scratch / (L"floor" + std::to_wstring(round));
        ::CreateDirectoryW(engine_destination.c_str(), nullptr);
        ::CreateDirectoryW(floor_destination.c_str(), nullptr);
        plan.destination = from_wide(engine_destination);

        const auto place_first = [&] {
            first = std::min(first, seconds_of([&] { fail_unless(place_files(plan, owners), count, 0); }));
        };
        const auto copy_bare = [&] { copy = std::min(copy, seconds_of([&] { copy_floor(plan, bin, floor_destination); })); };
        const auto place_again = [&] {
            again = std::min(again, seconds_of([&] { fail_unless(place_files(plan, owners), 0, count); }));
        };
        const auto read_bare = [&] {
            read = std::min(read, seconds_of([&] { read_and_hash_floor(plan, bin, engine_destination); }));
        };
        // Alternating the order keeps write-back of one run from landing on
        // the other's clock every time.
        if (round % 2 == 0) {
            place_first(), copy_bare(), place_again(), read_bare();
        } else {
            copy_bare(), place_first(), read_bare(), place_again();
        }

        test::remove_tree(engine_destination);
        test::remove_tree(floor_destination);
    }
    const double megabytes = static_cast<double>(count * payload.file_size) / 1048576.0;
    std::printf("%s: %llu files x %zu bytes (%.0f MiB), best of %d\n", payload.name,
                static_cast<unsigned long long>(count), payload.file_size, megabytes, rounds);
    std::printf("  first placement  %8.3f s   copy floor          %8.3f s   ratio %.2f\n", first, copy, first / copy);
    std::printf("  second placement %8.3f s   read-and-hash floor %8.3f s   ratio %.2f\n", again, read, again / read);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 3;
    const std::wstring only = argc > 2 ? argv[2] : L"";
    try {
        test::ScratchFolder scratch;
        if (only != L"small") run({"large", 16, 16u << 20}, scratch, rounds);
        if (only != L"large") run({"small", 2000, 4096}, scratch, rounds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "placement-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
