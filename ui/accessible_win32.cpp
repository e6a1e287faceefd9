#include "ui/accessible_win32.h"

#include <oleacc.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "ui/accessible_events.h"

namespace zelkora::ui {

struct AccessibleLink {
    HWND window = nullptr;
    AccessibleSource source;
    bool connected = true;
};

namespace {

// Defined here: linked statically, the import library's IID_IAccessible is a
// code thunk, not the GUID, and every QueryInterface would fail.
constexpr GUID kIidAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID kIidDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// oleacc.dll is not a KnownDLL: loaded from System32 only, when a reader asks.
struct Oleacc {
    using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    LresultFromObjectFn lresult_from_object = nullptr;
    CreateStdAccessibleObjectFn create_standard_object = nullptr;
};

const Oleacc& oleacc() {
    static const Oleacc functions = [] {
        Oleacc found;
        const HMODULE module = ::LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!module) return found;  // stays loaded for the process
        found.lresult_from_object = reinterpret_cast<Oleacc::LresultFromObjectFn>(
            reinterpret_cast<void*>(::GetProcAddress(module, "LresultFromObject")));
        found.create_standard_object = reinterpret_cast<Oleacc::CreateStdAccessibleObjectFn>(
            reinterpret_cast<void*>(::GetProcAddress(module, "CreateStdAccessibleObject")));
        return found;
    }();
    return functions;
}

// Readers' calls arrive through COM on the window's thread.
void join_apartment() {
    thread_local const HRESULT joined = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    (void)joined;  // RPC_E_CHANGED_MODE: the thread already has an apartment, which serves as well
}

LONG role_of(DisplayRole role) {
    switch (role) {
        case DisplayRole::list: return ROLE_SYSTEM_LIST;
        case DisplayRole::list_item: return ROLE_SYSTEM_LISTITEM;
        case DisplayRole::progress_bar: return ROLE_SYSTEM_PROGRESSBAR;
        case DisplayRole::button: return ROLE_SYSTEM_PUSHBUTTON;
        case DisplayRole::field: return ROLE_SYSTEM_TEXT;
        default: return ROLE_SYSTEM_STATICTEXT;
    }
}

LONG state_of(const DisplayElement& element) {
    LONG state = 0;
    if (element.role != DisplayRole::button) state |= STATE_SYSTEM_READONLY;
    if (element.states & display_state::kUnavailable) state |= STATE_SYSTEM_UNAVAILABLE;
    if (element.states & display_state::kFocusable) state |= STATE_SYSTEM_FOCUSABLE;
    if (element.states & display_state::kFocused) state |= STATE_SYSTEM_FOCUSED;
    return state;
}

HRESULT answer_text(const std::u16string& text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT answer_nothing(BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return S_FALSE;
}

std::u16string window_title(HWND window) {
    wchar_t title[256]{};
    const int length = ::GetWindowTextW(window, title, 256);
    return std::u16string(title, title + length);
}

// One element of the model, or the client area itself (element 0). It reads
// the model afresh on every call, so it always tells what is painted now.
class AccessibleNode final : public IAccessible {
public:
    AccessibleNode(std::shared_ptr<AccessibleLink> link, int element) : link_(std::move(link)), element_(element) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == kIidUnknown || iid == kIidDispatch || iid == kIidAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: readers use the vtable; nothing is scripted through it.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_INVALIDARG;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_INVALIDARG;
        *parent = nullptr;
        if (!link_->connected) return RPC_E_DISCONNECTED;
        if (element_ == element_id::kWindow) {
            if (!oleacc().create_standard_object) return S_FALSE;
            return oleacc().create_standard_object(link_->window, OBJID_WINDOW, kIidDispatch,
                                                   reinterpret_cast<void**>(parent));
        }
        const DisplayModel model = link_->source.model();
        const DisplayElement* self = model.find(element_);
        if (!self) return E_INVALIDARG;
        *parent = new AccessibleNode(link_, self->parent);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!count) return E_INVALIDARG;
        *count = 0;
        if (!link_->connected) return RPC_E_DISCONNECTED;
        *count = static_cast<long>(link_->source.model().children(element_).size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (!link_->connected) return RPC_E_DISCONNECTED;
        const DisplayModel model = link_->source.model();
        const auto found = resolve(model, child);
        if (!found || *found == element_) return E_INVALIDARG;
        if (model.children(*found).empty()) return S_FALSE;  // a simple element, read through its parent
        *out = new AccessibleNode(link_, *found);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return with_element(child, name, [&](const DisplayElement* element) {
            return answer_text(element ? element->name : window_title(link_->window), name);
        });
    }

    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return with_element(child, value, [&](const DisplayElement* element) {
            return element ? answer_text(element->value, value) : answer_nothing(value);
        });
    }

    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        return with_element(child, out, [&](const DisplayElement*) { return answer_nothing(out); });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override {
        return with_element(child, out, [&](const DisplayElement*) { return answer_nothing(out); });
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
        return with_element(child, out, [&](const DisplayElement*) { return answer_nothing(out); });
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (topic) *topic = 0;
        return answer_nothing(file);
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return with_element(child, role, [&](const DisplayElement* element) {
            role->vt = VT_I4;
            role->lVal = element ? role_of(element->role) : ROLE_SYSTEM_CLIENT;
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return with_element(child, state, [&](const DisplayElement* element) {
            state->vt = VT_I4;
            state->lVal = element ? state_of(*element) : STATE_SYSTEM_FOCUSABLE;
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!focus) return E_INVALIDARG;
        ::VariantInit(focus);
        if (!link_->connected) return RPC_E_DISCONNECTED;
        const DisplayModel model = link_->source.model();
        for (const DisplayElement& element : model.elements) {
            if ((element.states & display_state::kFocused) && within(model, element.id)) {
                focus->vt = VT_I4;
                focus->lVal = element.id;
                return S_OK;
            }
        }
        return S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!selection) return E_INVALIDARG;
        ::VariantInit(selection);
        return link_->connected ? S_FALSE : RPC_E_DISCONNECTED;
    }

    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return with_element(child, action, [&](const DisplayElement* element) {
            if (element && element->role == DisplayRole::button) return answer_text(u"누르기", action);
            return answer_nothing(action);
        });
    }

    HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }

    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        if (!left || !top || !width || !height) return E_INVALIDARG;
        *left = *top = *width = *height = 0;
        if (!link_->connected) return RPC_E_DISCONNECTED;
        const DisplayModel model = link_->source.model();
        const auto found = resolve(model, child);
        if (!found) return E_INVALIDARG;
        POINT origin{0, 0};
        ::ClientToScreen(link_->window, &origin);
        if (*found == element_id::kWindow) {
            RECT client{};
            ::GetClientRect(link_->window, &client);
            *left = origin.x;
            *top = origin.y;
            *width = client.right;
            *height = client.bottom;
            return S_OK;
        }
        const DisplayBox& box = model.find(*found)->box;
        const double scale = link_->source.scale();
        *left = origin.x + std::lround(box.x * scale);
        *top = origin.y + std::lround(box.y * scale);
        *width = std::lround(box.width * scale);
        *height = std::lround(box.height * scale);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        if (!end) return E_INVALIDARG;
        ::VariantInit(end);
        if (!link_->connected) return RPC_E_DISCONNECTED;
        const DisplayModel model = link_->source.model();
        const auto from = resolve(model, start);
        if (!from) return E_INVALIDARG;
        std::vector<const DisplayElement*> row;
        int index = 0;
        switch (direction) {
            case NAVDIR_FIRSTCHILD:
            case NAVDIR_LASTCHILD:
                if (*from != element_) return E_INVALIDARG;
                row = model.children(element_);
                index = direction == NAVDIR_FIRSTCHILD ? 0 : static_cast<int>(row.size()) - 1;
                break;
            case NAVDIR_NEXT:
            case NAVDIR_PREVIOUS: {
                if (*from == element_id::kWindow) return S_FALSE;  // the window's own object knows its siblings
                row = model.children(model.find(*from)->parent);
                int at = 0;
                while (at < static_cast<int>(row.size()) && row[static_cast<std::size_t>(at)]->id != *from) ++at;
                index = at + (direction == NAVDIR_NEXT ? 1 : -1);
                break;
            }
            default:
                return E_NOTIMPL;
        }
        if (index < 0 || index >= static_cast<int>(row.size())) return S_FALSE;
        point_at(model, row[static_cast<std::size_t>(index)]->id, end);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        if (!child) return E_INVALIDARG;
        ::VariantInit(child);
        if (!link_->connected) return RPC_E_DISCONNECTED;
        const DisplayModel model = link_->source.model();
        POINT point{x, y};
        ::ScreenToClient(link_->window, &point);
        RECT client{};
        ::GetClientRect(link_->window, &client);
        if (!::PtInRect(&client, point)) return S_FALSE;
        const double scale = link_->source.scale();
        const double dip_x = point.x / scale;
        const double dip_y = point.y / scale;
        // The deepest element under the point; later elements lie on top.
        int hit = element_;
        for (const DisplayElement& element : model.elements) {
            const DisplayBox& box = element.box;
            const bool inside = dip_x >= box.x && dip_x < box.x + box.width && dip_y >= box.y &&
                                dip_y < box.y + box.height;
            if (inside && model.readable(element) && within(model, element.id)) hit = element.id;
        }
        if (hit == element_) {
            child->vt = VT_I4;
            child->lVal = CHILDID_SELF;
            return S_OK;
        }
        point_at(model, hit, child);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!link_->connected) return RPC_E_DISCONNECTED;
        const DisplayModel model = link_->source.model();
        const auto found = resolve(model, child);
        if (!found) return E_INVALIDARG;
        const DisplayElement* element = model.find(*found);
        if (!element || element->role != DisplayRole::button) return DISP_E_MEMBERNOTFOUND;
        if (element->states & display_state::kUnavailable) return E_FAIL;
        ::PostMessageW(::GetDlgItem(link_->window, element->control_id), BM_CLICK, 0, 0);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    // Whether an element lies under this node.
    bool within(const DisplayModel& model, int element) const {
        while (element != element_id::kWindow) {
            const DisplayElement* found = model.find(element);
            if (!found) return false;
            if (found->parent == element_) return true;
            element = found->parent;
        }
        return element_ == element_id::kWindow;
    }

    // CHILDID_SELF, a 1-based index among the children, or an element id
    // anywhere below (as WinEvents name them).
    std::optional<int> resolve(const DisplayModel& model, const VARIANT& child) const {
        if (child.vt == VT_EMPTY) return element_;
        if (child.vt != VT_I4) return std::nullopt;
        const LONG value = child.lVal;
        if (value == CHILDID_SELF) {
            if (element_ != element_id::kWindow && !model.find(element_)) return std::nullopt;
            return element_;
        }
        const auto children = model.children(element_);
        if (value >= 1 && value <= static_cast<LONG>(children.size())) {
            return children[static_cast<std::size_t>(value - 1)]->id;
        }
        const DisplayElement* element = model.find(value);
        if (element && model.readable(*element) && within(model, value)) return value;
        return std::nullopt;
    }

    // A container is its own object; a simple element is an id of this one.
    void point_at(const DisplayModel& model, int element, VARIANT* out) {
        if (model.children(element).empty()) {
            out->vt = VT_I4;
            out->lVal = element;
        } else {
            out->vt = VT_DISPATCH;
            out->pdispVal = new AccessibleNode(link_, element);
        }
    }

    template <typename Out, typename Answer>
    HRESULT with_element(const VARIANT& child, Out* out, Answer answer) {
        if (!out) return E_INVALIDARG;
        if constexpr (std::is_same_v<Out, VARIANT>) ::VariantInit(out);
        else *out = nullptr;
        if (!link_->connected) return RPC_E_DISCONNECTED;
        const DisplayModel model = link_->source.model();
        const auto found = resolve(model, child);
        if (!found) return E_INVALIDARG;
        return answer(*found == element_id::kWindow ? nullptr : model.find(*found));
    }

    LONG references_ = 1;
    std::shared_ptr<AccessibleLink> link_;
    int element_;
};

DWORD event_of(Announcement kind) {
    switch (kind) {
        case Announcement::reorder: return EVENT_OBJECT_REORDER;
        case Announcement::name_change: return EVENT_OBJECT_NAMECHANGE;
        case Announcement::value_change: return EVENT_OBJECT_VALUECHANGE;
        case Announcement::state_change: return EVENT_OBJECT_STATECHANGE;
        default: return EVENT_SYSTEM_ALERT;
    }
}


std::u16string text_of(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
    return std::u16string(text.begin(), text.end());
}

}  // namespace

bool shown_in_parent(HWND child) { return (::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0; }

DisplayBox child_box(HWND parent, HWND child, double scale) {
    RECT box{};
    ::GetWindowRect(child, &box);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
    return {box.left / scale, box.top / scale, (box.right - box.left) / scale, (box.bottom - box.top) / scale};
}

DisplayControl child_control(HWND parent, HWND child, double scale) {
    DisplayControl control;
    control.control_id = ::GetDlgCtrlID(child);
    control.text = text_of(child);
    control.box = child_box(parent, child, scale);
    control.enabled = ::IsWindowEnabled(child) != FALSE;
    control.focused = ::GetFocus() == child;
    return control;
}

std::vector<DisplayControl> visible_buttons(HWND parent, std::initializer_list<int> ids, double scale) {
    std::vector<DisplayControl> buttons;
    for (const int id : ids) {
        const HWND child = ::GetDlgItem(parent, id);
        if (child && shown_in_parent(child)) buttons.push_back(child_control(parent, child, scale));
    }
    return buttons;
}

AccessibleWindow::AccessibleWindow(HWND window, AccessibleSource source)
    : link_(std::make_shared<AccessibleLink>(AccessibleLink{window, std::move(source), true})) {}

AccessibleWindow::~AccessibleWindow() {
    link_->connected = false;
    link_->source = {};
}

LRESULT AccessibleWindow::answer(WPARAM wparam, LPARAM lparam) {
    const LONG object = static_cast<LONG>(static_cast<DWORD>(lparam));
    if (object != OBJID_CLIENT || !oleacc().lresult_from_object) {
        return ::DefWindowProcW(link_->window, WM_GETOBJECT, wparam, lparam);
    }
    join_apartment();
    auto* node = new AccessibleNode(link_, element_id::kWindow);
    const LRESULT result = oleacc().lresult_from_object(kIidAccessible, wparam, node);
    node->Release();
    return result;
}

void AccessibleWindow::announce() {
    if (!link_->connected) return;
    auto now = std::make_unique<DisplayModel>(link_->source.model());
    if (announced_) {
        for (const AnnouncedEvent& event : announcements(*announced_, *now)) {
            const LONG child = event.element == element_id::kWindow ? CHILDID_SELF : event.element;
            ::NotifyWinEvent(event_of(event.kind), link_->window, OBJID_CLIENT, child);
        }
    }
    announced_ = std::move(now);
}

}  // namespace zelkora::ui
