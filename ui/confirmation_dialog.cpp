#include "ui/confirmation_dialog.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "core/owners.h"
#include "resources/resource_ids.h"
#include "ui/fonts.h"
#include "ui/gdi_scopes.h"
#include "ui/theme.h"

namespace zelkora::ui {
namespace {

using namespace theme;

constexpr DWORD kDialogStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME;
constexpr double kMeasureWidth = 520;

struct DialogSession {
    DialogSession(const DialogRequest& request, bool embedded_fonts_in_gdi)
        : request(request), embedded_fonts_in_gdi(embedded_fonts_in_gdi) {}

    const DialogRequest& request;
    bool embedded_fonts_in_gdi = false;
    HWND window = nullptr;
    HWND primary = nullptr;
    HWND cancel = nullptr;
    UniqueFont button_font;
    double scale = 1.0;
    bool running = true;
    bool accepted = false;

    int default_id() const {
        return request.cancel_is_default || request.information_only ? kCancelButtonId : kPrimaryButtonId;
    }
    const wchar_t* face() const { return ui_face(embedded_fonts_in_gdi); }
};

DialogSession* session_of(HWND window) {
    return reinterpret_cast<DialogSession*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

int pixels(double dips, double scale) { return static_cast<int>(dips * scale); }

struct TextStyle {
    double size = 13;
    int weight = FW_NORMAL;
    bool monospace = false;
};

UniqueFont font_for(const TextStyle& style, double scale, const wchar_t* face) {
    return make_font(style.monospace ? L"Consolas" : face, static_cast<int>(std::lround(style.size * scale)),
                     style.weight);
}

constexpr UINT kWrappedText = DT_LEFT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX;

// Wraps and measures with GDI at one scale. A provisional counter: the
// shared text engine will take its place.
class LineCounter {
public:
    LineCounter(HDC dc, double scale, const wchar_t* face) : dc_(dc), scale_(scale), face_(face) {}

    int lines(std::wstring_view text, double width_dips, const TextStyle& style) const {
        if (text.empty()) return 0;
        const UniqueFont font = font_for(style, scale_, face_);
        const GdiSelection selected(dc_, font.get());
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc_, &metrics);
        RECT box{0, 0, std::max(1, pixels(width_dips, scale_)), 0};
        ::DrawTextW(dc_, text.data(), static_cast<int>(text.size()), &box, kWrappedText | DT_CALCRECT);
        const int line_height = std::max<int>(1, metrics.tmHeight);
        return std::max(1, static_cast<int>((box.bottom - box.top + line_height - 1) / line_height));
    }

private:
    HDC dc_;
    double scale_;
    const wchar_t* face_;
};

std::vector<std::wstring_view> paragraphs_of(std::wstring_view body) {
    std::vector<std::wstring_view> paragraphs;
    for (;;) {
        const size_t end = body.find(L'\n');
        paragraphs.push_back(body.substr(0, end));
        if (end == std::wstring_view::npos) return paragraphs;
        body.remove_prefix(end + 1);
    }
}

// Vertical positions in DIPs for a client width of `width` DIPs.
struct DialogMetrics {
    int heading_lines = 1;
    double heading_block = 34;
    double heading_top = 31;
    std::vector<int> paragraph_lines;
    double details_top = 0;
    double details_height = 0;
    std::vector<double> row_heights;
    int caution_lines = 0;
    double caution_top = 0;
    double height = 0;
};

constexpr TextStyle kHeadingStyle{17, FW_BOLD, false};
constexpr TextStyle kBodyStyle{13.5, FW_NORMAL, false};
constexpr TextStyle kLabelStyle{12, FW_NORMAL, false};
constexpr TextStyle kCautionStyle{12.5, FW_NORMAL, false};

TextStyle value_style(const DetailRow& row) { return {12.5, FW_NORMAL, row.monospace}; }

DialogMetrics measure(const DialogRequest& request, double width, const LineCounter& counter) {
    DialogMetrics m;
    m.heading_lines = std::max(1, counter.lines(request.heading, width - 102, kHeadingStyle));
    m.heading_block = std::max(m.heading_lines * 24.0, 34.0);
    m.heading_top = (m.heading_block - m.heading_lines * 24.0) / 2 + 26;
    double y = m.heading_block + 26 + 16;

    for (const std::wstring_view paragraph : paragraphs_of(request.body)) {
        const int lines = counter.lines(paragraph, width - 56, kBodyStyle);
        m.paragraph_lines.push_back(lines);
        y += paragraph.empty() ? 6 : lines * 21.0 + 6;
    }
    y -= 6;

    if (!request.detail_rows.empty()) {
        m.details_top = y + 14;
        double rows = 0;
        for (const DetailRow& row : request.detail_rows) {
            const double height = std::max(1, counter.lines(row.value, width - 168, value_style(row))) * 19.0;
            m.row_heights.push_back(height);
            rows += height + 6;
        }
        m.details_height = 24 + rows - 6;
        y = m.details_top + m.details_height;
    }

    if (!request.caution_text.empty()) {
        m.caution_lines = std::max(1, counter.lines(request.caution_text, width - 84, kCautionStyle));
        m.caution_top = y + 16;
        y = m.caution_top + m.caution_lines * 19.0 + 22;
    }
    m.height = y + 24 + 38 + 24;
    return m;
}

double measured_height(const DialogSession& session) {
    const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) return 0;
    return measure(session.request, kMeasureWidth, LineCounter(dc.get(), 1.0, session.face())).height;
}

// --- Painting: a plain GDI face ---------------------------------------------

class Painter {
public:
    Painter(HDC dc, double scale, const wchar_t* face) : dc_(dc), scale_(scale), face_(face) {}

    RECT box(double x, double y, double width, double height) const {
        return RECT{pixels(x, scale_), pixels(y, scale_), pixels(x + width, scale_), pixels(y + height, scale_)};
    }

    void text(std::wstring_view text, const RECT& where, const TextStyle& style, COLORREF colour,
              UINT format = kWrappedText) const {
        if (text.empty()) return;
        const UniqueFont font = font_for(style, scale_, face_);
        const GdiSelection selected(dc_, font.get());
        ::SetTextColor(dc_, colour);
        RECT target = where;
        ::DrawTextW(dc_, text.data(), static_cast<int>(text.size()), &target, format);
    }

    void rounded_box(const RECT& where, double radius, COLORREF fill, COLORREF border) const {
        const UniqueBrush brush(::CreateSolidBrush(fill));
        const UniquePen pen(::CreatePen(PS_SOLID, std::max(1, pixels(1, scale_)), border));
        const GdiSelection with_brush(dc_, brush.get());
        const GdiSelection with_pen(dc_, pen.get());
        const int corner = pixels(2 * radius, scale_);
        ::RoundRect(dc_, where.left, where.top, where.right, where.bottom, corner, corner);
    }

    void status_icon(double x, double y, double diameter, bool caution) const {
        const RECT where = box(x, y, diameter, diameter);
        const UniqueBrush brush(::CreateSolidBrush(kAccent));
        const UniquePen pen(::CreatePen(PS_SOLID, 1, kAccent));
        {
            const GdiSelection with_brush(dc_, brush.get());
            const GdiSelection with_pen(dc_, pen.get());
            ::Ellipse(dc_, where.left, where.top, where.right, where.bottom);
        }
        text(caution ? L"!" : L"?", where, {diameter * 0.6, FW_BOLD, false}, kBackground,
             DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }

private:
    HDC dc_;
    double scale_;
    const wchar_t* face_;
};

void paint(const DialogSession& session, HDC dc) {
    RECT client{};
    ::GetClientRect(session.window, &client);
    const UniqueBrush background(::CreateSolidBrush(kBackground));
    ::FillRect(dc, &client, background.get());
    ::SetBkMode(dc, TRANSPARENT);

    const double scale = session.scale;
    const double width = static_cast<int>(client.right / scale);
    const DialogRequest& request = session.request;
    const DialogMetrics m = measure(request, width, LineCounter(dc, scale, session.face()));
    const Painter painter(dc, scale, session.face());

    painter.status_icon(28, 26, 34, request.information_only);
    painter.text(request.heading, painter.box(74, m.heading_top, width - 102, m.heading_lines * 24.0),
                 kHeadingStyle, kText);

    double y = m.heading_block + 42;
    const auto paragraphs = paragraphs_of(request.body);
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (paragraphs[i].empty()) {
            y += 6;
            continue;
        }
        const double height = m.paragraph_lines[i] * 21.0;
        painter.text(paragraphs[i], painter.box(28, y, width - 56, height), kBodyStyle, kBody);
        y += height + 6;
    }

    if (!request.detail_rows.empty()) {
        painter.rounded_box(painter.box(28, m.details_top, width - 56, m.details_height), 10, kDetailsBox, kLine);
        double row_y = m.details_top + 12;
        for (size_t i = 0; i < request.detail_rows.size(); ++i) {
            const DetailRow& row = request.detail_rows[i];
            painter.text(row.label, painter.box(44, row_y, 80, 19), kLabelStyle, kMuted);
            painter.text(row.value, painter.box(128, row_y, width - 168, m.row_heights[i]), value_style(row), kText);
            row_y += m.row_heights[i] + 6;
        }
    }

    if (!request.caution_text.empty()) {
        const double height = m.caution_lines * 19.0;
        painter.rounded_box(painter.box(28, m.caution_top, width - 56, height + 22), 10, kAmberTint, kAmberBorder);
        painter.text(request.caution_text, painter.box(42, m.caution_top + 11, width - 84, height), kCautionStyle,
                     kCautionText);
    }
}

void paint_window(const DialogSession& session) {
    const PaintCycle cycle(session.window);
    if (cycle.dc()) paint(session, cycle.dc());
}

struct ButtonColours {
    COLORREF face;
    COLORREF border;
    COLORREF label;
    COLORREF focus;
};

ButtonColours button_colours(bool primary, UINT state) {
    const bool pressed = state & ODS_SELECTED;
    const bool disabled = state & ODS_DISABLED;
    if (primary) {
        if (disabled) return {kLine, kLine, kFaint, kCautionText};
        const COLORREF face = pressed ? kAccentPressed : kAccent;
        return {face, face, kPrimaryText, kCautionText};
    }
    return {pressed && !disabled ? kPressedSecondary : kCard, kLine, disabled ? kFaint : kText, kMuted};
}

void draw_button(const DialogSession& session, const DRAWITEMSTRUCT& item) {
    const HDC dc = item.hDC;
    const RECT& area = item.rcItem;
    const UniqueBrush background(::CreateSolidBrush(kBackground));
    ::FillRect(dc, &area, background.get());

    const ButtonColours colours = button_colours(item.CtlID == kPrimaryButtonId, item.itemState);
    const double scale = session.scale;
    Painter(dc, scale, session.face()).rounded_box(area, 10, colours.face, colours.border);
    const bool focused = (item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT);
    if (focused) {
        const int inset = pixels(2.5, scale);
        const UniquePen pen(::CreatePen(PS_SOLID, std::max(1, pixels(1.5, scale)), colours.focus));
        const GdiSelection with_brush(dc, ::GetStockObject(NULL_BRUSH));
        const GdiSelection with_pen(dc, pen.get());
        const int corner = pixels(16, scale);
        ::RoundRect(dc, area.left + inset, area.top + inset, area.right - inset, area.bottom - inset, corner, corner);
    }

    wchar_t label[100] = {};
    ::GetWindowTextW(item.hwndItem, label, 100);
    const GdiSelection with_font(dc, session.button_font.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, colours.label);
    RECT text_box = area;
    ::DrawTextW(dc, label, -1, &text_box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// --- Window -------------------------------------------------------------------

void place(HWND control, double x, double y, double width, double height, double scale) {
    ::SetWindowPos(control, nullptr, pixels(x, scale), pixels(y, scale), pixels(width, scale),
                   pixels(height, scale), SWP_NOZORDER | SWP_NOACTIVATE);
}

void lay_out(DialogSession& session) {
    if (!session.primary || !session.cancel) return;
    const double scale = session.scale;

    UniqueFont font = make_font(session.face(), static_cast<int>(13 * scale), 600);
    ::SendMessageW(session.primary, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    ::SendMessageW(session.cancel, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    session.button_font = std::move(font);

    RECT client{};
    ::GetClientRect(session.window, &client);
    const int width = static_cast<int>(client.right / scale);
    const int height = static_cast<int>(client.bottom / scale);
    const int row_y = height < 63 ? 0 : height - 62;
    const bool room = width - 28 > 170;
    const int cancel_x = room ? width - 294 : 0;
    const int primary_x = room ? width - 198 : 0;

    if (session.request.information_only) {
        ::ShowWindow(session.primary, SW_HIDE);
        ::SetWindowTextW(session.cancel, L"확인");
        place(session.cancel, primary_x, row_y, 170, 38, scale);
    } else {
        place(session.cancel, cancel_x, row_y, 84, 38, scale);
        place(session.primary, primary_x, row_y, 170, 38, scale);
    }
    ::InvalidateRect(session.window, nullptr, FALSE);
}

HWND create_button(HWND parent, const wchar_t* text, int id) {
    return ::CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0,
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
}

// A dialog without both buttons could not be answered except by closing it,
// so creation fails instead.
LRESULT on_create(DialogSession& session) {
    session.cancel = create_button(session.window, L"취소", kCancelButtonId);
    session.primary = create_button(session.window, session.request.primary_label.c_str(), kPrimaryButtonId);
    if (!session.cancel || !session.primary) return -1;
    lay_out(session);
    return 0;
}

LRESULT on_dpi_changed(DialogSession& session, WPARAM wparam, LPARAM lparam) {
    const UINT dpi = HIWORD(wparam);
    if (!lparam || dpi < 48) return 0;
    session.scale = dpi / 96.0;
    const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
    ::SetWindowPos(session.window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    lay_out(session);
    return 0;
}

LRESULT handle(DialogSession& session, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            return on_create(session);
        case WM_SIZE:
            lay_out(session);
            return 0;
        case WM_PAINT:
            paint_window(session);
            return 0;
        case WM_PRINTCLIENT:
            paint(session, reinterpret_cast<HDC>(wparam));
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_DRAWITEM:
            draw_button(session, *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
            return 1;
        case WM_COMMAND:
            if (LOWORD(wparam) == kPrimaryButtonId || LOWORD(wparam) == kCancelButtonId) {
                session.accepted = LOWORD(wparam) == kPrimaryButtonId;
                ::DestroyWindow(session.window);
            }
            return 0;
        case WM_CLOSE:
            ::DestroyWindow(session.window);
            return 0;
        case WM_DESTROY:
            session.running = false;
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(session.default_id(), DC_HASDEFID);
        case WM_DPICHANGED:
            return on_dpi_changed(session, wparam, lparam);
        default:
            return ::DefWindowProcW(session.window, message, wparam, lparam);
    }
}

LRESULT CALLBACK dialog_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* session = static_cast<DialogSession*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        session->window = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(session));
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    DialogSession* session = session_of(window);
    if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!session) return ::DefWindowProcW(window, message, wparam, lparam);
    return handle(*session, message, wparam, lparam);
}

void register_dialog_class() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = dialog_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    window_class.lpszClassName = kConfirmationWindowClass;
    ::RegisterClassW(&window_class);  // already registered by an earlier dialog: fine
}

// Best effort: a system without these attributes keeps its own title bar.
void apply_dark_title_bar(HWND window) {
    const UniqueLibrary dwm(::LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!dwm) return;
    using SetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
    const auto set_attribute = reinterpret_cast<SetWindowAttribute>(
        reinterpret_cast<void (*)()>(::GetProcAddress(dwm.get(), "DwmSetWindowAttribute")));
    if (!set_attribute) return;
    const BOOL dark = TRUE;
    const COLORREF caption = 0x0018140E, caption_text = 0x00A9A18F, border = 0x00322B1F;
    set_attribute(window, 20 /* DWMWA_USE_IMMERSIVE_DARK_MODE */, &dark, sizeof dark);
    set_attribute(window, 35 /* DWMWA_CAPTION_COLOR */, &caption, sizeof caption);
    set_attribute(window, 36 /* DWMWA_TEXT_COLOR */, &caption_text, sizeof caption_text);
    set_attribute(window, 34 /* DWMWA_BORDER_COLOR */, &border, sizeof border);
}

double scale_for(HWND owner) {
    UINT dpi = owner ? ::GetDpiForWindow(owner) : 0;
    if (dpi == 0) dpi = ::GetDpiForSystem();
    return dpi / 96.0;
}

RECT window_rect_for(const DialogSession& session, HWND owner) {
    const double scale = session.scale;
    RECT frame{0, 0, static_cast<LONG>(kMeasureWidth * scale),
               static_cast<LONG>(std::ceil(measured_height(session)) * scale)};
    ::AdjustWindowRectExForDpi(&frame, kDialogStyle, FALSE, kDialogExStyle, static_cast<UINT>(scale * 96));
    const LONG width = frame.right - frame.left;
    const LONG height = frame.bottom - frame.top;

    RECT around{};
    if (!owner || !::GetWindowRect(owner, &around)) {
        around = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const LONG left = around.left + (around.right - around.left - width) / 2;
    const LONG top = around.top + (around.bottom - around.top - height) / 2;
    return RECT{left, top, left + width, top + height};
}

void run_modal_loop(const DialogSession& session) {
    MSG message{};
    while (session.running) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // The outer loop must end too.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got == -1) return;
        if (::IsDialogMessageW(session.window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

constexpr BYTE hex_value(wchar_t digit) {
    if (digit >= L'0' && digit <= L'9') return static_cast<BYTE>(digit - L'0');
    if (digit >= L'A' && digit <= L'F') return static_cast<BYTE>(digit - L'A' + 10);
    return static_cast<BYTE>(digit - L'a' + 10);
}

constexpr Sha1Hash sha1_from_hex(std::wstring_view hex) {
    Sha1Hash hash{};
    for (size_t i = 0; i < hash.size(); ++i) {
        hash[i] = static_cast<BYTE>(hex_value(hex[2 * i]) << 4 | hex_value(hex[2 * i + 1]));
    }
    return hash;
}

static_assert(std::wstring_view(kSigningCertificateThumbprint).size() == 40);
constexpr Sha1Hash kSigningCertificateSha1 = sha1_from_hex(kSigningCertificateThumbprint);

bool machine_store_holds(const wchar_t* store_name, const Sha1Hash& sha1) {
    const UniqueCertStore store(::CertOpenStore(
        CERT_STORE_PROV_SYSTEM_W, 0, 0,
        CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG, store_name));
    if (!store) return false;
    CRYPT_HASH_BLOB blob{static_cast<DWORD>(sha1.size()), const_cast<BYTE*>(sha1.data())};
    const UniqueCertificate found(::CertFindCertificateInStore(
        store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr));
    return static_cast<bool>(found);
}

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

bool run_dialog(const DialogRequest& request, bool embedded_fonts_in_gdi) {
    DialogSession session(request, embedded_fonts_in_gdi);
    session.scale = scale_for(request.owner);
    register_dialog_class();

    const RECT placement = window_rect_for(session, request.owner);
    const HWND window = ::CreateWindowExW(kDialogExStyle, kConfirmationWindowClass, request.title.c_str(),
                                          kDialogStyle, placement.left, placement.top,
                                          placement.right - placement.left, placement.bottom - placement.top,
                                          request.owner, nullptr, ::GetModuleHandleW(nullptr), &session);
    if (!window) return false;

    const bool owner_was_enabled = request.owner && ::IsWindowEnabled(request.owner);
    if (request.owner) ::EnableWindow(request.owner, FALSE);
    apply_dark_title_bar(window);
    ::ShowWindow(window, SW_SHOW);
    ::SetFocus(session.default_id() == kCancelButtonId ? session.cancel : session.primary);

    run_modal_loop(session);

    if (session.running) ::DestroyWindow(window);
    if (owner_was_enabled) ::EnableWindow(request.owner, TRUE);
    if (request.owner) ::SetActiveWindow(request.owner);
    return session.accepted;
}

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
    run_dialog(request, embedded_fonts_in_gdi);
}

bool certificate_in_machine_stores(std::span<const wchar_t* const> store_names, const Sha1Hash& sha1) {
    if (store_names.empty()) return false;
    return std::all_of(store_names.begin(), store_names.end(),
                       [&](const wchar_t* name) { return machine_store_holds(name, sha1); });
}

bool signing_certificate_trusted() {
    static constexpr const wchar_t* kStores[] = {L"Root", L"TrustedPublisher"};
    return certificate_in_machine_stores(kStores, kSigningCertificateSha1);
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
