#include "accessible_walk.h"

#include <oleacc.h>

#include <chrono>

namespace zelkora::a11y {
namespace {

// Linked statically, oleacc's IID_IAccessible is not the GUID itself.
constexpr GUID kIidAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

template <typename T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p) p->Release();
    }
    T** out() { return &p; }
};

struct Bstr {
    BSTR text = nullptr;
    ~Bstr() { ::SysFreeString(text); }
    std::wstring str() const { return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring(); }
};

VARIANT child_id(LONG id) {
    VARIANT child;
    ::VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = id;
    return child;
}

std::wstring role_word(LONG role) {
    switch (role) {
        case ROLE_SYSTEM_CLIENT: return L"client";
        case ROLE_SYSTEM_STATICTEXT: return L"text";
        case ROLE_SYSTEM_LIST: return L"list";
        case ROLE_SYSTEM_LISTITEM: return L"item";
        case ROLE_SYSTEM_PROGRESSBAR: return L"progress";
        case ROLE_SYSTEM_PUSHBUTTON: return L"button";
        case ROLE_SYSTEM_TEXT: return L"field";
        default: return L"role " + std::to_wstring(role);
    }
}

std::wstring describe(IAccessible* node, LONG id, bool with_value = true) {
    const VARIANT child = child_id(id);
    VARIANT role;
    ::VariantInit(&role);
    std::wstring line = L"?";
    if (SUCCEEDED(node->get_accRole(child, &role)) && role.vt == VT_I4) line = role_word(role.lVal);
    Bstr name;
    if (node->get_accName(child, &name.text) == S_OK) line += L": " + name.str();
    Bstr value;
    if (with_value && node->get_accValue(child, &value.text) == S_OK) line += L" = " + value.str();
    VARIANT state;
    ::VariantInit(&state);
    if (SUCCEEDED(node->get_accState(child, &state)) && state.vt == VT_I4 &&
        (state.lVal & STATE_SYSTEM_UNAVAILABLE)) {
        line += L" [unavailable]";
    }
    return line;
}

void walk(IAccessible* node, LONG id, int depth, std::vector<std::wstring>& lines) {
    lines.push_back(std::wstring(static_cast<std::size_t>(depth) * 2, L' ') + describe(node, id));
    if (id != CHILDID_SELF) return;
    long count = 0;
    if (FAILED(node->get_accChildCount(&count)) || count <= 0) return;
    std::vector<VARIANT> children(static_cast<std::size_t>(count));
    long obtained = 0;
    if (FAILED(::AccessibleChildren(node, 0, count, children.data(), &obtained))) return;
    for (long i = 0; i < obtained; ++i) {
        VARIANT& child = children[static_cast<std::size_t>(i)];
        if (child.vt == VT_DISPATCH && child.pdispVal) {
            ComPtr<IAccessible> inner;
            if (SUCCEEDED(child.pdispVal->QueryInterface(kIidAccessible, reinterpret_cast<void**>(inner.out())))) {
                walk(inner.p, CHILDID_SELF, depth + 1, lines);
            }
        } else if (child.vt == VT_I4) {
            walk(node, child.lVal, depth + 1, lines);
        }
        ::VariantClear(&child);
    }
}

bool find_location(IAccessible* node, const std::wstring& name, RECT& location) {
    long count = 0;
    if (FAILED(node->get_accChildCount(&count)) || count <= 0) return false;
    std::vector<VARIANT> children(static_cast<std::size_t>(count));
    long obtained = 0;
    if (FAILED(::AccessibleChildren(node, 0, count, children.data(), &obtained))) return false;
    bool found = false;
    for (long i = 0; i < obtained; ++i) {
        VARIANT& child = children[static_cast<std::size_t>(i)];
        if (!found && child.vt == VT_DISPATCH && child.pdispVal) {
            ComPtr<IAccessible> inner;
            if (SUCCEEDED(child.pdispVal->QueryInterface(kIidAccessible, reinterpret_cast<void**>(inner.out())))) {
                found = find_location(inner.p, name, location);
            }
        } else if (!found && child.vt == VT_I4) {
            Bstr child_name;
            if (node->get_accName(child, &child_name.text) == S_OK && child_name.str() == name) {
                long x = 0, y = 0, w = 0, h = 0;
                found = SUCCEEDED(node->accLocation(&x, &y, &w, &h, child));
                location = RECT{x, y, x + w, y + h};
            }
        }
        ::VariantClear(&child);
    }
    return found;
}

struct Apartment {
    Apartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
};

bool client_object(HWND window, ComPtr<IAccessible>& root) {
    thread_local const Apartment apartment;
    return SUCCEEDED(
        ::AccessibleObjectFromWindow(window, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(root.out())));
}

EventListener* listener = nullptr;  // one listener per process at a time

std::wstring event_word(DWORD event) {
    switch (event) {
        case EVENT_OBJECT_NAMECHANGE: return L"name";
        case EVENT_OBJECT_VALUECHANGE: return L"value";
        case EVENT_OBJECT_STATECHANGE: return L"state";
        case EVENT_OBJECT_REORDER: return L"reorder";
        default: return L"alert";
    }
}

std::wstring class_of(HWND window) {
    wchar_t name[128]{};
    ::GetClassNameW(window, name, 128);
    return name;
}

}  // namespace

std::vector<std::wstring> accessible_tree(HWND window) {
    std::vector<std::wstring> lines;
    ComPtr<IAccessible> root;
    if (client_object(window, root)) walk(root.p, CHILDID_SELF, 0, lines);
    return lines;
}

bool accessible_location(HWND window, const std::wstring& name, RECT& location) {
    ComPtr<IAccessible> root;
    return client_object(window, root) && find_location(root.p, name, location);
}

EventListener::EventListener(DWORD process_id, std::wstring window_class) : window_class_(std::move(window_class)) {
    thread_local const Apartment apartment;
    listener = this;
    hook_ = ::SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, on_event, process_id, 0,
                              WINEVENT_OUTOFCONTEXT);  // Wine 8 drops every event given WINEVENT_SKIPOWNPROCESS
}

EventListener::~EventListener() {
    if (hook_) ::UnhookWinEvent(hook_);
    listener = nullptr;
}

void EventListener::pump(DWORD milliseconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        describe_arrived();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void CALLBACK EventListener::on_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                                      DWORD) {
    const bool announced = event == EVENT_OBJECT_NAMECHANGE || event == EVENT_OBJECT_VALUECHANGE ||
                           event == EVENT_OBJECT_STATECHANGE || event == EVENT_OBJECT_REORDER ||
                           event == EVENT_SYSTEM_ALERT;
    if (!listener || !announced || object != OBJID_CLIENT || !window || class_of(window) != listener->window_class_) {
        return;
    }
    listener->arrived_.push_back({event, window, object, child});
}

void EventListener::describe_arrived() const {
    if (describing_) return;
    describing_ = true;
    for (std::size_t i = 0; i < arrived_.size(); ++i) {
        const Event arrived = arrived_[i];  // the list may grow while this one is read
        ComPtr<IAccessible> source;
        VARIANT target;
        ::VariantInit(&target);
        std::wstring line = event_word(arrived.event) + L" ";
        if (SUCCEEDED(::AccessibleObjectFromEvent(arrived.window, arrived.object, arrived.child, source.out(),
                                                  &target)) &&
            source.p) {
            line += describe(source.p, target.vt == VT_I4 ? target.lVal : CHILDID_SELF, false);
        } else {
            line += L"(gone)";
        }
        ::VariantClear(&target);
        heard_.push_back(line);
    }
    arrived_.clear();
    describing_ = false;
}

}  // namespace zelkora::a11y
