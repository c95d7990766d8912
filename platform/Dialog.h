// Stand-ins for the Windows dialog calls that the setup code makes: modal
// dialog boxes built from a dialog template, their controls' texts, the
// drop-down list messages and message boxes. They are drawn on the
// controlling terminal (see DialogBackend.h for the drawing side).
//
// They behave as Microsoft documents them where the setup code relies on it:
// EndDialog only marks the dialog, which ends once the dialog procedure has
// returned; GetDlgItemTextA counts the NUL in its size, always terminates and
// returns the number of characters copied; DialogBoxParamA returns -1 when
// the dialog cannot be shown. A control's window handle (GetDlgItem) is valid
// while its dialog is open.
#ifndef VORN_PLATFORM_DIALOG_H
#define VORN_PLATFORM_DIALOG_H

#include <stdint.h>

#include "Module.h" // BOOL, TRUE, FALSE, HINSTANCE as unixODBC defines them

typedef intptr_t INT_PTR;
typedef intptr_t LRESULT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define MAKEINTRESOURCEA(i) ((LPCSTR)(uintptr_t)(WORD)(i))
#define IS_INTRESOURCE(p) (((uintptr_t)(p) >> 16) == 0)
#define LOWORD(l) ((WORD)((uintptr_t)(l)&0xffff))
#define HIWORD(l) ((WORD)(((uintptr_t)(l) >> 16) & 0xffff))
#define MAKEWPARAM(lo, hi) ((WPARAM)(((uint32_t)(WORD)(lo)) | (((uint32_t)(WORD)(hi)) << 16)))

// Window messages.
#define WM_CLOSE 0x0010
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define BN_CLICKED 0

// Edit and drop-down list messages.
#define EM_LIMITTEXT 0x00C5
#define CB_ADDSTRING 0x0143
#define CB_GETCURSEL 0x0147
#define CB_SETCURSEL 0x014E
#define CB_ERR (-1)

// Command ids of the dialog manager: Enter without a default button, Escape.
#define IDOK 1
#define IDCANCEL 2

// Message boxes: only the OK button is offered.
#define MB_OK 0x00000000

// Window data slot of a dialog that belongs to the dialog procedure.
#define DWLP_USER 16

// Window and control styles that a dialog template uses.
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_VSCROLL 0x00200000u
#define WS_SYSMENU 0x00080000u
#define WS_TABSTOP 0x00010000u
#define DS_MODALFRAME 0x00000080u
#define BS_PUSHBUTTON 0x00000000u
#define BS_DEFPUSHBUTTON 0x00000001u
#define ES_PASSWORD 0x00000020u
#define ES_AUTOHSCROLL 0x00000080u
#define SS_RIGHT 0x00000002u
#define CBS_DROPDOWNLIST 0x00000003u

// One control of a dialog template: window class ("BUTTON", "STATIC",
// "EDIT", "COMBOBOX"), text, id, position and size in dialog units, style.
struct VornDialogItem {
    const char* windowClass;
    const char* text;
    int id;
    short x, y, cx, cy;
    uint32_t style;
};

// An extended dialog template, as a resource script describes one. The
// controls are listed in tab order.
struct VornDialogTemplate {
    int resourceId;
    WORD language;
    uint32_t style;
    const char* caption;
    WORD pointSize;
    const char* typeface;
    short cx, cy;
    const VornDialogItem* items;
    int itemCount;
};

// Makes a template known under its resource id (the library's resources are
// registered while it loads).
void vornRegisterDialogResource(const VornDialogTemplate* dialogTemplate);

struct VornDialogResource {
    explicit VornDialogResource(const VornDialogTemplate* dialogTemplate) {
        vornRegisterDialogResource(dialogTemplate);
    }
};

// The registered template with that resource name (an integer resource), or
// NULL.
const VornDialogTemplate* vornFindDialogResource(HINSTANCE module, LPCSTR name);

#ifdef __cplusplus
extern "C" {
#endif

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HWND GetDlgItem(HWND dialog, int id);
HWND SetFocus(HWND control);
intptr_t SetWindowLongPtrA(HWND window, int index, intptr_t value);
intptr_t GetWindowLongPtrA(HWND window, int index);

#ifdef __cplusplus
}
#endif

#endif
