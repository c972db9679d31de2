#include "programmer/win32/dialog_window.h"

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/run_guard_win32.h"
#include "platform/wide_text.h"
#include "programmer/app/handler_queue.h"
#include "programmer/win32/resource.h"

namespace win32 {

namespace {
// The dialog's own messages: run the flow's initialisation, run the next posted event. They lie
// well below WM_TOGGLE_PACKET_MODE (WM_APP + 100).
constexpr UINT kRunInit = WM_APP + 1;
constexpr UINT kRunPosted = WM_APP + 2;
// The caption of the boxes that name none: the program's name.
constexpr const char* kProgramName = "kelvoflash";

std::string windowText(HWND window) {
    std::vector<wchar_t> text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    GetWindowTextW(window, text.data(), int(text.size()));
    return platform::narrow(text.data());
}
}  // namespace

int DialogWindow::run(HWND owner, int resource, std::function<void()> init) {
    init_ = std::move(init);
    const INT_PTR ended = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource),
                                          owner, procedure, reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    // A program without a console says it in a box.
    if (ended == -1) {
        char text[128];
        std::snprintf(text, sizeof text, "Dialog %d cannot be shown (error %lu).", resource,
                      GetLastError());
        MessageBoxW(owner, platform::widen(text).c_str(), platform::widen(kProgramName).c_str(),
                    MB_OK | MB_ICONERROR | MB_TASKMODAL);
    }
    return model_.result;
}

void DialogWindow::act(const std::function<void()>& handler) {
    afterHandler(handlers_.act(handler));
}

void DialogWindow::afterHandler(app::HandlerQueue::Outcome outcome) {
    if (outcome == app::HandlerQueue::Outcome::Refused || window_ == nullptr)
        return;
    if (!handlers_.lastFailure().empty()) {
        // The flow stopped half-way: the user hears of it and gets the controls back.
        const std::string text = app::FailureText(handlers_.lastFailure());
        MessageBoxW(window_, platform::widen(text).c_str(), platform::widen(kProgramName).c_str(),
                    MB_OK | MB_ICONERROR | MB_TASKMODAL);
        afterFailure();
    }
    render();
    if (outcome == app::HandlerQueue::Outcome::Ended) {
        EndDialog(window_, model_.result);
        return;
    }
    if (handlers_.hasPosted())
        PostMessageW(window_, kRunPosted, 0, 0);
}

void DialogWindow::post(std::function<void()> event) {
    if (handlers_.post(std::move(event)) && window_ != nullptr)
        PostMessageW(window_, kRunPosted, 0, 0);
}

INT_PTR CALLBACK DialogWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<DialogWindow*>(lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR DialogWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            // A new window shows its resource's texts and states until the first render.
            shownText_.clear();
            shownEnabled_.clear();
            shownChecked_.clear();
            shownTitle_.reset();
            onInit();
            render();
            PostMessageW(window_, kRunInit, 0, 0);
            return TRUE;
        case kRunInit:
            act(init_);
            return TRUE;
        case kRunPosted:  // refused while a handler runs: act() posts again when it is done
            afterHandler(handlers_.runNextPosted());
            return TRUE;
        case WM_CLOSE:  // the Close button, Alt-F4
            if (!handlers_.busy())
                break;
            closeRefused();
            return TRUE;
        case WM_COMMAND:
            // Escape comes as IDCANCEL from no control; the Cancel button of a dialog names itself.
            if (LOWORD(wParam) == IDCANCEL && lParam == 0 && handlers_.busy()) {
                closeRefused();
                return TRUE;
            }
            return onCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        case WM_QUERYENDSESSION:  // refused while the camera is written
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, platform::endSessionAllowed());
            return TRUE;
        default:
            break;
    }
    INT_PTR result = FALSE;
    return onMessage(message, wParam, lParam, result) ? result : FALSE;
}

void DialogWindow::closeRefused() {
    // Shown from a thread of its own: a modal box here would stop the running flow until it is
    // answered. One at a time, however often the user tries.
    static std::atomic<bool> shown{false};
    if (shown.exchange(true))
        return;
    std::thread([title = windowText(window_)] {
        MessageBoxW(nullptr, platform::widen(app::kCloseRefusedText).c_str(), platform::widen(title).c_str(),
                    MB_OK | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
        shown = false;
    }).detach();
}

bool DialogWindow::onMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

namespace {
// Whether `value` differs from what `shown` holds for `id`; remembers `value` when it does.
template <typename Value>
bool changes(std::map<int, Value>& shown, int id, const Value& value) {
    const auto [entry, added] = shown.try_emplace(id, value);
    if (added)
        return true;
    if (entry->second == value)
        return false;
    entry->second = value;
    return true;
}
}  // namespace

void DialogWindow::setText(int id, const std::string& text) {
    if (!changes(shownText_, id, text))
        return;
    if (HWND control = GetDlgItem(window_, id); control != nullptr)
        SetWindowTextW(control, platform::widen(text).c_str());
}

void DialogWindow::setEnabled(int id, bool enabled) {
    if (!changes(shownEnabled_, id, enabled))
        return;
    if (HWND control = GetDlgItem(window_, id); control != nullptr)
        EnableWindow(control, enabled);
}

void DialogWindow::setChecked(int id, bool checked) {
    if (changes(shownChecked_, id, checked))
        CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void DialogWindow::setTitle(const std::string& title) {
    if (shownTitle_ == title)
        return;
    shownTitle_ = title;
    SetWindowTextW(window_, platform::widen(title).c_str());
}

void DialogWindow::setIcons() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto icon = [instance](int width, int height) {
        return reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM),
                                                   IMAGE_ICON, GetSystemMetrics(width),
                                                   GetSystemMetrics(height), LR_SHARED));
    };
    SendMessageW(window_, WM_SETICON, ICON_BIG, icon(SM_CXICON, SM_CYICON));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, icon(SM_CXSMICON, SM_CYSMICON));
}

}  // namespace win32
