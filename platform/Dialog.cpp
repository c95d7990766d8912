#include "Dialog.h"

#include <string.h>
#include <strings.h>

#include <algorithm>
#include <mutex>

#include "DialogBackend.h"

namespace {

// The library's dialog templates by resource id; filled while it loads.
const int kMaxResources = 8;
const VornDialogTemplate* gResources[kMaxResources];
int gResourceCount = 0;

// One dialog or message box at a time per process: the terminal is one, and
// curses is not thread-safe. Recursive, since a dialog procedure shows
// message boxes from inside the dialog.
std::recursive_mutex& uiLock() {
    static std::recursive_mutex lock;
    return lock;
}

VornDialogBackend* gBackend = NULL;
VornDialog* gOpenDialog = NULL; // guarded by uiLock

VornDialogBackend* backend() {
    return gBackend != NULL ? gBackend : vornTerminalDialogBackend();
}

// The open dialog that `window` names; NULL for anything else, so that a
// stale or foreign handle is refused rather than followed.
VornDialog* dialogOf(HWND window) {
    if (window == NULL || window != static_cast<HWND>(gOpenDialog)) {
        return NULL;
    }
    return gOpenDialog;
}

VornControlKind kindOf(const VornDialogItem& item) {
    if (strcasecmp(item.windowClass, "BUTTON") == 0) return VORN_CONTROL_BUTTON;
    if (strcasecmp(item.windowClass, "EDIT") == 0) return VORN_CONTROL_EDIT;
    if (strcasecmp(item.windowClass, "COMBOBOX") == 0) return VORN_CONTROL_LIST;
    return VORN_CONTROL_LABEL;
}

} // namespace

VornDialog::VornDialog(const VornDialogTemplate* t)
    : dialogTemplate(t), changes(0), focus(-1), ended(false), result(0), userData(0) {
    for (int i = 0; i < t->itemCount; i++) {
        const VornDialogItem& item = t->items[i];
        VornDialogControl c;
        c.item = &item;
        c.kind = kindOf(item);
        c.defaultButton = c.kind == VORN_CONTROL_BUTTON && (item.style & 0xF) == BS_DEFPUSHBUTTON;
        c.password = c.kind == VORN_CONTROL_EDIT && (item.style & ES_PASSWORD) != 0;
        c.tabStop = (item.style & WS_TABSTOP) != 0;
        c.text = item.text != NULL ? item.text : "";
        c.selection = CB_ERR;
        c.textLimit = 0;
        controls.push_back(c);
    }
}

VornDialogControl* VornDialog::control(int id) {
    for (VornDialogControl& c : controls) {
        if (c.item->id == id) {
            return &c;
        }
    }
    return NULL;
}

void vornRegisterDialogResource(const VornDialogTemplate* dialogTemplate) {
    if (dialogTemplate != NULL && gResourceCount < kMaxResources) {
        gResources[gResourceCount++] = dialogTemplate;
    }
}

const VornDialogTemplate* vornFindDialogResource(HINSTANCE module, LPCSTR name) {
    if (!IS_INTRESOURCE(name)) {
        return NULL;
    }
    int id = (int)(uintptr_t)name;
    for (int i = 0; i < gResourceCount; i++) {
        if (gResources[i]->resourceId == id) {
            return gResources[i];
        }
    }
    return NULL;
}

void vornSetDialogBackend(VornDialogBackend* b) {
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    gBackend = b;
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
    const VornDialogTemplate* t = vornFindDialogResource(instance, templateName);
    if (t == NULL || dialogProc == NULL) {
        return -1;
    }
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    if (gOpenDialog != NULL) {
        return -1; // modal: a second dialog inside the first is not offered
    }
    VornDialog dialog(t);
    VornDialogBackend* b = backend();
    if (!b->open(dialog)) {
        return -1;
    }
    gOpenDialog = &dialog;
    HWND hwnd = static_cast<HWND>(&dialog);
    dialogProc(hwnd, WM_INITDIALOG, 0, initParam);
    while (!dialog.ended) {
        VornDialogInput input = b->nextInput(dialog);
        switch (input.kind) {
        case VORN_INPUT_COMMAND:
            dialogProc(hwnd, WM_COMMAND, MAKEWPARAM(input.id, BN_CLICKED), 0);
            break;
        case VORN_INPUT_CLOSE:
            // The dialog manager turns an unhandled close into IDCANCEL.
            if (!dialogProc(hwnd, WM_CLOSE, 0, 0)) {
                dialogProc(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            }
            break;
        case VORN_INPUT_LOST:
            dialogProc(hwnd, WM_CLOSE, 0, 0);
            if (!dialog.ended) {
                dialog.ended = true;
                dialog.result = -1;
            }
            break;
        }
    }
    gOpenDialog = NULL;
    b->close(dialog);
    return dialog.result;
}

BOOL EndDialog(HWND window, INT_PTR result) {
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    VornDialog* d = dialogOf(window);
    if (d == NULL) {
        return FALSE;
    }
    d->ended = true;
    d->result = result;
    return TRUE;
}

UINT GetDlgItemTextA(HWND window, int id, LPSTR text, int maxCount) {
    if (text == NULL || maxCount <= 0) {
        return 0;
    }
    text[0] = '\0';
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    VornDialog* d = dialogOf(window);
    VornDialogControl* c = d != NULL ? d->control(id) : NULL;
    if (c == NULL) {
        return 0;
    }
    const std::string& value =
        c->kind == VORN_CONTROL_LIST
            ? (c->selection >= 0 ? c->entries[(size_t)c->selection] : std::string())
            : c->text;
    size_t n = std::min(value.size(), (size_t)maxCount - 1);
    memcpy(text, value.data(), n);
    text[n] = '\0';
    return (UINT)n;
}

BOOL SetDlgItemTextA(HWND window, int id, LPCSTR text) {
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    VornDialog* d = dialogOf(window);
    VornDialogControl* c = d != NULL ? d->control(id) : NULL;
    if (c == NULL || c->kind == VORN_CONTROL_LIST) {
        return FALSE;
    }
    c->text = text != NULL ? text : "";
    d->changes++;
    return TRUE;
}

LRESULT SendDlgItemMessageA(HWND window, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    VornDialog* d = dialogOf(window);
    VornDialogControl* c = d != NULL ? d->control(id) : NULL;
    if (c == NULL) {
        return CB_ERR;
    }
    switch (message) {
    case CB_ADDSTRING:
        if (c->kind != VORN_CONTROL_LIST || lParam == 0) return CB_ERR;
        c->entries.push_back(reinterpret_cast<const char*>(lParam));
        d->changes++;
        return (LRESULT)c->entries.size() - 1;
    case CB_SETCURSEL:
        if (c->kind != VORN_CONTROL_LIST) return CB_ERR;
        d->changes++;
        // As documented: an index out of range clears the selection and
        // answers CB_ERR.
        if ((intptr_t)wParam < 0 || (size_t)wParam >= c->entries.size()) {
            c->selection = CB_ERR;
            return CB_ERR;
        }
        c->selection = (int)wParam;
        return (LRESULT)wParam;
    case CB_GETCURSEL:
        return c->kind == VORN_CONTROL_LIST ? c->selection : CB_ERR;
    case EM_LIMITTEXT:
        if (c->kind != VORN_CONTROL_EDIT) return 0;
        c->textLimit = (int)std::min<WPARAM>(wParam, 0x7FFFFFFE);
        d->changes++;
        return 0;
    default:
        return 0;
    }
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    // While a dialog is open the terminal is its, so the box goes over it
    // whoever owns the box.
    return backend()->messageBox(gOpenDialog, text != NULL ? text : "",
                                 caption != NULL ? caption : "Error");
}

HWND GetDlgItem(HWND window, int id) {
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    VornDialog* d = dialogOf(window);
    return d != NULL ? static_cast<HWND>(d->control(id)) : NULL;
}

HWND SetFocus(HWND control) {
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    VornDialog* d = gOpenDialog;
    for (size_t i = 0; d != NULL && i < d->controls.size(); i++) {
        if (static_cast<HWND>(&d->controls[i]) != control) continue;
        if (d->controls[i].kind == VORN_CONTROL_LABEL) return NULL;
        HWND previous = d->focus >= 0 ? static_cast<HWND>(&d->controls[(size_t)d->focus]) : NULL;
        d->focus = (int)i;
        d->changes++;
        return previous;
    }
    return NULL;
}

intptr_t SetWindowLongPtrA(HWND window, int index, intptr_t value) {
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    VornDialog* d = dialogOf(window);
    if (d == NULL || index != DWLP_USER) {
        return 0;
    }
    intptr_t old = d->userData;
    d->userData = value;
    return old;
}

intptr_t GetWindowLongPtrA(HWND window, int index) {
    std::lock_guard<std::recursive_mutex> guard(uiLock());
    VornDialog* d = dialogOf(window);
    if (d == NULL || index != DWLP_USER) {
        return 0;
    }
    return d->userData;
}
