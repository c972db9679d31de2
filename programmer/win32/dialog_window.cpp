#include "programmer/win32/dialog_window.h"

#include <cstdio>
#include <vector>

#include "platform/wide_text.h"
#include "programmer/win32/resource.h"

namespace win32 {

namespace {
// The dialog's own messages: run the flow's initialisation, run the next posted event. They lie
// well below WM_TOGGLE_PACKET_MODE (WM_APP + 100).
constexpr UINT kRunInit = WM_APP + 1;
constexpr UINT kRunPosted = WM_APP + 2;

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
    if (ended == -1) {
        std::fprintf(stderr, "kelvoflash: dialog %d cannot be shown (error %lu)\n", resource,
                     GetLastError());
    }
    return model_.result;
}

void DialogWindow::act(const std::function<void()>& handler) {
    afterHandler(handlers_.act(handler));
}

void DialogWindow::afterHandler(app::HandlerQueue::Outcome outcome) {
    if (outcome == app::HandlerQueue::Outcome::Refused || window_ == nullptr)
        return;
    if (!handlers_.lastFailure().empty())
        std::fprintf(stderr, "kelvoflash: a handler failed: %s\n", handlers_.lastFailure().c_str());
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
        case WM_COMMAND:
            return onCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        default: {
            INT_PTR result = FALSE;
            return onMessage(message, wParam, lParam, result) ? result : FALSE;
        }
    }
}

bool DialogWindow::onMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

void DialogWindow::setText(int id, const std::string& text) {
    HWND control = GetDlgItem(window_, id);
    if (control != nullptr && windowText(control) != text)
        SetWindowTextW(control, platform::widen(text).c_str());
}

void DialogWindow::setEnabled(int id, bool enabled) {
    HWND control = GetDlgItem(window_, id);
    if (control != nullptr && bool(IsWindowEnabled(control)) != enabled)
        EnableWindow(control, enabled);
}

void DialogWindow::setChecked(int id, bool checked) {
    CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void DialogWindow::setTitle(const std::string& title) {
    if (windowText(window_) != title)
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
