// The selection dialog of tessiport.dll (dialog 103 of its resources): a drop-down list of the
// serial libraries and COM ports found, OK and CANCEL. It runs modally, owned by the desktop.
// A Unicode window: the items are UTF-8 inside and shown whole whatever the ANSI code page.
#include <windows.h>

#include "platform/wide_text.h"
#include "tessiport/resource_ids.h"
#include "tessiport/selection_dialog.h"
#include "tessiport/serial_selection.h"

namespace tessiport {

namespace {
struct DialogState {
    const std::vector<std::string>* items;
    uint32_t preselected;
    uint32_t chosen;
};

// The module holding this code: tessiport.dll, whose resources hold the dialog and the icon.
HMODULE ownModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&showSelectionDialog), &module);
    return module;
}

void centreOnDesktop(HWND dialog) {
    RECT own{}, desktop{};
    ::GetWindowRect(dialog, &own);
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    const int x = desktop.left + (desktop.right - desktop.left - (own.right - own.left)) / 2;
    const int y = desktop.top + (desktop.bottom - desktop.top - (own.bottom - own.top)) / 2;
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void initialise(HWND dialog, DialogState& state) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    if (HICON icon = ::LoadIconW(ownModule(), MAKEINTRESOURCEW(IDI_TESSIPORT))) {
        ::SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        ::SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    HWND list = ::GetDlgItem(dialog, IDC_SERIAL_LIST);
    ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : *state.items)
        ::SendMessageW(list, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(platform::widen(item).c_str()));
    ::SendMessageW(list, CB_SETCURSEL, state.preselected, 0);
    centreOnDesktop(dialog);
}

INT_PTR CALLBACK selectionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        initialise(dialog, *reinterpret_cast<DialogState*>(lParam));
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (LOWORD(wParam)) {
        case IDOK: {
            const LRESULT selected =
                ::SendDlgItemMessageW(dialog, IDC_SERIAL_LIST, CB_GETCURSEL, 0, 0);
            if (selected == CB_ERR) {
                ::EndDialog(dialog, kDialogNoChoice);
                return TRUE;
            }
            state->chosen = uint32_t(selected);
            ::EndDialog(dialog, kDialogChosen);
            return TRUE;
        }
        case IDCANCEL:
            ::EndDialog(dialog, kDialogCancelled);
            return TRUE;
        default:
            return TRUE;
    }
}
}  // namespace

int32_t showSelectionDialog(const std::vector<std::string>& items, uint32_t preselected,
                            uint32_t& chosen) {
    DialogState state{&items, preselected, 0};
    const INT_PTR result =
        ::DialogBoxParamW(ownModule(), MAKEINTRESOURCEW(IDD_SELECT_SERIAL), ::GetDesktopWindow(),
                          &selectionDialogProc, reinterpret_cast<LPARAM>(&state));
    if (result == kDialogChosen)
        chosen = state.chosen;
    // -1: the dialog could not be shown (no resources, no desktop).
    return result == kDialogChosen || result == kDialogCancelled ? int32_t(result)
                                                                 : kDialogNoChoice;
}

}  // namespace tessiport
