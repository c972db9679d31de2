#include "programmer/win32/win32_host.h"

#include <commdlg.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/wide_text.h"
#include "programmer/app/cmorvat_dlg.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/win32/connection_window.h"
#include "programmer/win32/main_window.h"
#include "programmer/win32/resource.h"

namespace win32 {

namespace {

constexpr auto kPumpTime = std::chrono::milliseconds(100);
// The caption of the boxes that name none: the program's name.
constexpr const char* kProgramName = "kelvoflash";
// Room for a long path.
constexpr size_t kPathBuffer = 4 * MAX_PATH;

// "desc|*.x|All|*.*||" -> the same with NULs, as the common dialogs take it.
std::wstring windowsFilter(const std::string& filter) {
    std::wstring result = platform::widen(filter);
    for (wchar_t& c : result) {
        if (c == L'|')
            c = L'\0';
    }
    result += std::wstring(2, L'\0');
    return result;
}

struct AboutText {
    std::string title;
    std::string text;
};

INT_PTR CALLBACK aboutProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* about = reinterpret_cast<const AboutText*>(lParam);
            const size_t newline = about->text.find('\n');
            SetWindowTextW(window, platform::widen(about->title).c_str());
            SetDlgItemTextW(window, IDC_ABOUT_VERSION,
                            platform::widen(about->text.substr(0, newline)).c_str());
            const std::string line =
                newline == std::string::npos ? std::string() : about->text.substr(newline + 1);
            SetDlgItemTextW(window, IDC_ABOUT_LINE, platform::widen(line).c_str());
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

HWND Win32Host::topWindow() const {
    if (connection_ != nullptr && connection_->window() != nullptr)
        return connection_->window();
    return main_ != nullptr ? main_->window() : nullptr;
}

DialogWindow* Win32Host::windowOf(const app::DialogModel& model) const {
    if (main_ != nullptr && &main_->model() == &model)
        return main_;
    if (connection_ != nullptr && &connection_->model() == &model)
        return connection_;
    return nullptr;
}

// Task-modal and without an owner: the box stops every window of the program until answered.
int Win32Host::box(const std::string& text, const std::string& caption, UINT style) {
    const std::string title = caption.empty() ? kProgramName : caption;
    return MessageBoxW(nullptr, platform::widen(text).c_str(), platform::widen(title).c_str(),
                       style | MB_TASKMODAL);
}

void Win32Host::messageBox(const std::string& text, const std::string& caption,
                           app::BoxIcon icon) {
    box(text, caption, MB_OK | (icon == app::BoxIcon::Warning ? MB_ICONWARNING : 0));
}

bool Win32Host::askYesNo(const std::string& text, const std::string& caption) {
    return box(text, caption, MB_YESNO | MB_ICONWARNING) == IDYES;
}

bool Win32Host::askYesNoWithoutIcon(const std::string& text) {
    return box(text, "", MB_YESNO) == IDYES;
}

std::optional<std::string> Win32Host::fileDialog(const app::FileDialogRequest& request,
                                                 bool save) {
    const std::wstring filter = windowsFilter(request.filter);
    const std::wstring initialName = platform::widen(request.initialName);
    const std::wstring title = platform::widen(request.title);
    const std::wstring extension = platform::widen(request.defaultExtension);
    std::vector<wchar_t> path(kPathBuffer, L'\0');
    initialName.copy(path.data(), path.size() - 1);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = topWindow();
    dialog.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = DWORD(path.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (save) {
        if (request.confirmOverwrite)
            dialog.Flags |= OFN_OVERWRITEPROMPT;
    } else {
        dialog.Flags |= OFN_FILEMUSTEXIST;
    }
    if (!askOnOwnThread(dialog, save))
        return std::nullopt;
    return platform::narrow(path.data());
}

bool Win32Host::askOnOwnThread(OPENFILENAMEW& dialog, bool save) {
    // The file dialog fills its folder view (the shell, the icons) for a few hundred milliseconds
    // before it handles a message of its own. It runs on a thread of its own meanwhile, and this
    // thread goes on answering for the windows; the dialog disables its owner as usual, so no
    // click reaches a flow.
    HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (finished == nullptr)
        return save ? GetSaveFileNameW(&dialog) != FALSE : GetOpenFileNameW(&dialog) != FALSE;
    std::atomic<bool> chosen{false};
    std::thread asking([&] {
        chosen = (save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog)) != FALSE;
        SetEvent(finished);
    });
    while (MsgWaitForMultipleObjectsEx(1, &finished, INFINITE, QS_ALLINPUT,
                                       MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0)
        pumpMessages();
    asking.join();
    CloseHandle(finished);
    return chosen;
}

std::optional<std::string> Win32Host::openFileDialog(const app::FileDialogRequest& request) {
    return fileDialog(request, false);
}

std::optional<std::string> Win32Host::saveFileDialog(const app::FileDialogRequest& request) {
    return fileDialog(request, true);
}

void Win32Host::pumpMessages() {
    // Show what the flow has changed (it may have disabled the buttons) before messages arrive.
    // A dialog shows itself only once its message queue is empty, which never happens while its
    // first flow pumps: it is shown here, in the state that flow has set.
    for (DialogWindow* dialog : {static_cast<DialogWindow*>(main_),
                                 static_cast<DialogWindow*>(connection_)}) {
        if (dialog == nullptr || dialog->window() == nullptr)
            continue;
        dialog->render();
        if (!IsWindowVisible(dialog->window()))
            ShowWindow(dialog->window(), SW_SHOWNORMAL);
    }
    const auto start = clock_.now();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(int(message.wParam));  // for the loop that owns it
            break;
        }
        HWND dialog = topWindow();
        if (dialog == nullptr || !IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (clock_.now() - start > kPumpTime)
            break;
    }
}

void Win32Host::repaintNow(const app::DialogModel& model) {
    if (main_ != nullptr && &main_->model() == &model) {
        main_->repaintNow();
    } else if (DialogWindow* window = windowOf(model); window != nullptr && window->window()) {
        window->render();
        RedrawWindow(window->window(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
}

void Win32Host::modelChanged(const app::DialogModel& model) {
    if (DialogWindow* window = windowOf(model); window != nullptr && window->window())
        window->render();
}

// Only the main dialog posts to itself; with no main dialog running the event is dropped.
void Win32Host::post(std::function<void()> event) {
    if (main_ != nullptr)
        main_->post(std::move(event));
}

int Win32Host::runConnectionDialog(app::CMorvatDlg& dialog) {
    ConnectionWindow window(dialog);
    ConnectionWindow* outer = connection_;
    HWND owner = topWindow();
    connection_ = &window;
    const int result = window.run(owner, IDD_CONNECTION, [&dialog] { dialog.OnInitDialog(); });
    connection_ = outer;
    return result;
}

int Win32Host::runMainDialog(app::ProgDlg& dialog) {
    MainWindow window(dialog);
    MainWindow* outer = main_;
    main_ = &window;
    const int result = window.run(nullptr, IDD_MAIN, [&dialog] { dialog.OnInitDialog(); });
    main_ = outer;
    return result;
}

void Win32Host::showAboutBox(const std::string& title, const std::string& text) {
    AboutText about{title, text};
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), topWindow(),
                    aboutProcedure, reinterpret_cast<LPARAM>(&about));
}

}  // namespace win32
