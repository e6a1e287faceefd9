// Times the painting of the setup window: the progress view (the one the
// 33 ms animation repaints) and a failed result with three notes, each
// painted many times through WM_PRINTCLIENT into a memory DC, at scale 1 and
// at scale 2. The floor, measured in the same run, is the bare cost of any
// paint: open a surface of the same size (cleared) and present it.
// For the progress view also one animation frame (the spinner, and the
// spinner with a moving bar) as the window's timer makes it, next to a whole
// repaint, both through WM_PAINT of the shown window.
// Also the time from the start of this process to the end of its first
// WM_PAINT, with the text engine, GDI+ and the window made on the way as the
// setup makes them, against the same time of a bare GDI window program
// (bare-window.exe, beside this one) started from here. The program embeds
// the setup's faces.
// Run by hand under Wine (warm: run it twice):
//   wine-env run PREFIX paint-bench.exe [PAINTS]
// (paint-bench.exe --first-paint prints only its own time to the first paint.)
#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/owners_win32.h"
#include "process_clock.h"
#include "ui/gdi_scopes_win32.h"
#include "ui/installer_run_win32.h"
#include "ui/paint_surface_win32.h"
#include "ui/preview_fixtures_win32.h"
#include "ui/setup_window_win32.h"
#include "ui/text_engine_win32.h"
#include "ui/theme_win32.h"
#include "ui/window_state_win32.h"

namespace {

using namespace zelkora;
using Clock = std::chrono::steady_clock;

constexpr int kProgressPreview = 1;
constexpr int kFailurePreview = 3;

void pump() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

struct Window {
    ui::WindowState state;
    HWND handle = nullptr;

    ~Window() {
        if (handle) ::DestroyWindow(handle);
        pump();
        state.ui_font.reset();
        for (auto& brush : state.tint_brushes) brush.reset();
    }
};

// A preview fixture, adjusted, at the given scale: the setup's own window.
void open(Window& window, int preview_case, double scale, const std::function<void(ui::WindowState&)>& adjust) {
    window.state.scale = scale;
    window.state.preview_case = static_cast<std::int8_t>(preview_case);
    ui::apply_preview_fixture(window.state);
    if (adjust) adjust(window.state);
    window.state.embedded_fonts_in_gdi = ui::text_engine().gdi_fonts_registered();
    window.handle = ui::create_setup_window(window.state, ::GetModuleHandleW(nullptr), L"Zelkora");
    if (!window.handle) return;
    const RECT frame = ui::setup_window_frame(static_cast<UINT>(scale * 96));
    ::SetWindowPos(window.handle, nullptr, 0, 0, frame.right, frame.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

struct Timing {
    double median_ms;
    double mean_ms;
};

Timing time_paints(int paints, const std::function<void()>& paint) {
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(paints));
    for (int i = 0; i < paints; ++i) {
        const auto start = Clock::now();
        paint();
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    double total = 0;
    for (const double sample : samples) total += sample;
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return {samples[samples.size() / 2], total / samples.size()};
}

// A target DC like a window's: a DIB of the client size.
struct Target {
    UniqueMemoryDc dc;
    UniqueBitmap bitmap;
    Target(int width, int height) : dc(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB};
        void* bits = nullptr;
        bitmap.reset(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        ::SelectObject(dc.get(), bitmap.get());
    }
};

// Frames as the timer makes them, painted by WM_PAINT of the shown window.
void bench_frames(Window& window, const Timing& floor, int paints) {
    const HWND handle = window.handle;
    ::ShowWindow(handle, SW_SHOWNOACTIVATE);
    pump();
    int unpainted = 0;  // frames that invalidated nothing would time nothing
    const auto frame = [&] {
        ::SendMessageW(handle, WM_TIMER, ui::kTimerAnimation, 0);
        if (!::GetUpdateRect(handle, nullptr, FALSE)) ++unpainted;
        ::UpdateWindow(handle);
    };
    window.state.run.shown_progress = window.state.run.progress.highest_step / 6.0;
    const Timing spinner = time_paints(paints, frame);
    const Timing with_bar = time_paints(paints, [&] {
        window.state.run.shown_progress = 0;  // the bar eases on every frame
        frame();
    });
    const Timing whole = time_paints(paints, [&] {
        ::InvalidateRect(handle, nullptr, FALSE);
        ::UpdateWindow(handle);
    });
    std::printf("%-22s   frame: spinner %7.3f ms (ratio %5.1f), spinner and bar %7.3f ms (ratio %5.1f); "
                "whole repaint %7.3f ms (ratio %5.1f)\n",
                "", spinner.median_ms, spinner.median_ms / floor.median_ms, with_bar.median_ms,
                with_bar.median_ms / floor.median_ms, whole.median_ms, whole.median_ms / floor.median_ms);
    if (unpainted > 0) std::fprintf(stderr, "paint-bench: %d animation frames painted nothing\n", unpainted);
    ::ShowWindow(handle, SW_HIDE);
}

void bench_view(const char* name, int preview_case, const std::function<void(ui::WindowState&)>& adjust,
                int paints) {
    for (const double scale : {1.0, 2.0}) {
        Window window;
        open(window, preview_case, scale, adjust);
        if (!window.handle) {
            std::fprintf(stderr, "paint-bench: no window for %s\n", name);
            std::exit(1);
        }
        RECT client{};
        ::GetClientRect(window.handle, &client);
        Target target(client.right, client.bottom);
        pump();
        const Timing view = time_paints(paints, [&] {
            ::SendMessageW(window.handle, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(target.dc.get()), PRF_CLIENT);
        });
        const Timing floor = time_paints(paints, [&] {
            ui::PaintSurface surface(ui::text_engine(), client.right, client.bottom, scale, ui::theme::kBackground);
            surface.present(target.dc.get(), 0, 0);
        });
        // Where the time goes: one text item (the per-flush cost of the text
        // pass) and sixteen (about what the progress view queues).
        const auto texts = [&](int count) {
            return time_paints(paints, [&] {
                ui::PaintSurface surface(ui::text_engine(), client.right, client.bottom, scale,
                                         ui::theme::kBackground);
                for (int i = 0; i < count; ++i) {
                    surface.queue_text({u"설치 파일·대상 경로 확인", 80, 20.0 + i * 24, 300, 24, 13, 0,
                                        ui::theme::kText, ui::text_style::kSingleLine | ui::text_style::kMiddle});
                }
                surface.present(target.dc.get(), 0, 0);
            });
        };
        if (preview_case == kProgressPreview) bench_frames(window, floor, paints);
        const Timing one_text = texts(1);
        const Timing sixteen_texts = texts(16);
        std::printf("%-22s scale %.0f  %4ldx%-4ld  paint median %7.3f ms (mean %7.3f)   floor median %6.3f ms   "
                    "ratio %5.1f\n",
                    name, scale, client.right, client.bottom, view.median_ms, view.mean_ms, floor.median_ms,
                    view.median_ms / floor.median_ms);
        std::printf("%-22s   surface with 1 text %7.3f ms, with 16 texts %7.3f ms\n", "", one_text.median_ms,
                    sixteen_texts.median_ms);
    }
}

// A program beside this one, run once: the milliseconds it prints, or a
// negative value when it cannot be run.
double first_paint_of(const wchar_t* name, const wchar_t* arguments) {
    wchar_t own[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring program(own, length);
    program.resize(program.find_last_of(L'\\') + 1);
    program += name;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) return -1;
    const UniqueHandle reader(read_end);
    UniqueHandle writer(write_end);
    ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    PROCESS_INFORMATION started{};
    std::wstring command = L"\"" + program + L"\" " + arguments;
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &started)) {
        return -1;
    }
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    writer.reset();
    char text[64] = {};
    DWORD got = 0;
    std::string output;
    while (::ReadFile(read_end, text, sizeof(text), &got, nullptr) && got > 0) output.append(text, got);
    ::WaitForSingleObject(process.get(), 10000);
    const double value = std::atof(output.c_str());
    return value > 0 ? value : -1;
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// This program's first paint and the bare window's, each run five times in
// turn, so that both see the same load.
void compare_first_paints() {
    std::vector<double> own, bare;
    for (int run = 0; run < 5; ++run) {
        own.push_back(first_paint_of(L"paint-bench.exe", L"--first-paint"));
        bare.push_back(first_paint_of(L"bare-window.exe", L""));
        if (own.back() < 0 || bare.back() < 0) {
            std::fprintf(stderr, "paint-bench: paint-bench.exe or bare-window.exe beside this one did not run\n");
            return;
        }
    }
    std::printf("median of 5 runs each, in turn: first paint %.1f ms, bare GDI window %.1f ms; ratio %.2f "
                "(goal: at most 2)\n",
                median(own), median(bare), median(own) / median(bare));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // --first-paint: only the time to the first paint, for compare_first_paints().
    const bool first_paint_only = argc > 1 && std::wstring_view(argv[1]) == L"--first-paint";
    const int paints = argc > 1 && !first_paint_only ? std::max(1, _wtoi(argv[1])) : 200;

    // As the setup starts: GDI+, the common controls, the text engine, the
    // window, and its first paint; where the time goes is printed below.
    std::vector<std::pair<const char*, double>> stages{{"entry", milliseconds_since_process_start()}};
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;
    stages.emplace_back("GDI+", milliseconds_since_process_start());
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    stages.emplace_back("common controls", milliseconds_since_process_start());
    ui::text_engine();
    stages.emplace_back("text engine", milliseconds_since_process_start());
    if (!ui::register_setup_window_class(::GetModuleHandleW(nullptr))) return 1;
    double first_paint_ms = 0;
    {
        Window window;
        open(window, kProgressPreview, ::GetDpiForSystem() / 96.0, nullptr);
        if (!window.handle) return 1;
        stages.emplace_back("window", milliseconds_since_process_start());
        ::ShowWindow(window.handle, SW_SHOW);
        ::UpdateWindow(window.handle);  // WM_PAINT, sent and handled before this returns
        first_paint_ms = milliseconds_since_process_start();
        stages.emplace_back("first paint", first_paint_ms);
    }
    if (first_paint_only) {
        std::printf("%.1f\n", first_paint_ms);
        return 0;
    }
    if (!ui::text_engine().has_private_fonts()) {
        std::fprintf(stderr, "paint-bench: the shipped faces are not embedded\n");
        return 1;
    }
    std::printf("process start to the end of the first WM_PAINT: %.1f ms\n", first_paint_ms);
    std::printf("  where it goes:");
    for (std::size_t i = 0; i < stages.size(); ++i) {
        std::printf(" %s %.1f ms%s", stages[i].first, stages[i].second - (i > 0 ? stages[i - 1].second : 0),
                    i + 1 < stages.size() ? "," : "\n");
    }
    compare_first_paints();
    std::printf("%d paints each; goal for the progress view at scale 1: under 8 ms\n", paints);

    bench_view("progress view", kProgressPreview, nullptr, paints);
    bench_view("result with 3 notes", kFailurePreview, [](ui::WindowState& state) {
        state.run.progress.status_text =
            u"Host installation failed: 설치 대상 파일을 다른 프로그램이 쓰고 있어요. 열려 있는 Zelkora 설정 창을 "
            u"닫은 뒤 다시 시도하세요. Existing-service restoration: False. Native-display restoration: False.";
    }, paints);

    Gdiplus::GdiplusShutdown(token);
    return 0;
}
