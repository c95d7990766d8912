// The driver library's resources: the data-source dialog (dialog 103), as a
// resource script would describe it. Positions and sizes are in dialog units;
// the controls are listed in tab order. The template is registered while
// the library loads (programs that link the setup code from its archive must
// take this object whole).
#include "Dialog.h"
#include "resource.h"

namespace {

const uint32_t kChild = WS_CHILD | WS_VISIBLE;
const uint32_t kLabel = kChild | SS_RIGHT;
const uint32_t kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
const uint32_t kButton = kChild | WS_TABSTOP;

const VornDialogItem kDsnConfigItems[] = {
    {"BUTTON", "OK", IDC_BUTTON_OK, 299, 314, 50, 14, kButton | BS_DEFPUSHBUTTON},
    {"BUTTON", "Cancel", IDC_BUTTON_CANCEL, 387, 314, 50, 14, kButton | BS_PUSHBUTTON},
    {"STATIC", "Data Source Name (DSN)", IDC_LABEL_DSN, 38, 22, 91, 8, kLabel},
    {"EDIT", "", IDC_EDIT_DSN, 141, 18, 79, 14, kEdit},
    {"STATIC", "VKL Server Region (REGION)", IDC_LABEL_REGION, 234, 22, 108, 8, kLabel},
    {"EDIT", "", IDC_EDIT_REGION, 354, 19, 79, 14, kEdit},
    {"STATIC", "Project ID (PROJECTID)", IDC_LABEL_PROJECTID, 47, 78, 82, 8, kLabel},
    {"EDIT", "", IDC_EDIT_PROJECTID, 141, 75, 293, 14, kEdit},
    {"STATIC", "Queue Name (QUEUENAME)", IDC_LABEL_QUEUENAME, 239, 228, 100, 8, kLabel},
    {"EDIT", "", IDC_EDIT_QUEUENAME, 356, 225, 79, 14, kEdit},
    {"STATIC", "Authentication Mode (AUTHMODE)", IDC_LABEL_AUTHMODE, 12, 110, 117, 8, kLabel},
    {"STATIC", "Orvelo Cloud Account (ACCOUNT)", IDC_LABEL_ACCOUNT, 227, 109, 116, 8, kLabel},
    {"EDIT", "", IDC_EDIT_ACCOUNT, 356, 106, 79, 14, kEdit},
    {"STATIC", "VKL Server Host (HOST)", IDC_LABEL_HOST, 40, 49, 88, 8, kLabel},
    {"EDIT", "", IDC_EDIT_HOST, 141, 46, 292, 14, kEdit},
    {"STATIC", "Database Name (DATABASE)", IDC_LABEL_DATABASE, 26, 227, 100, 8, kLabel},
    {"EDIT", "", IDC_EDIT_DATABASE, 139, 224, 79, 14, kEdit},
    {"COMBOBOX", "", IDC_LIST_AUTHMODE, 141, 106, 79, 30,
     kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST},
    {"STATIC", "IAM User (USER)", IDC_LABEL_USER, 12, 140, 117, 8, kLabel},
    {"STATIC", "Password (PASSWORD)", IDC_LABEL_PASSWORD, 228, 139, 116, 8, kLabel},
    {"EDIT", "", IDC_EDIT_PASSWORD, 356, 135, 79, 14, kEdit | ES_PASSWORD},
    {"STATIC", "Access Key (AK)", IDC_LABEL_AK, 12, 167, 117, 8, kLabel},
    {"STATIC", "Secret Key (SK)", IDC_LABEL_SK, 68, 197, 60, 8, kLabel},
    {"EDIT", "", IDC_EDIT_SK, 140, 195, 296, 14, kEdit | ES_PASSWORD},
    {"EDIT", "", IDC_EDIT_USER, 141, 136, 79, 14, kEdit},
    {"EDIT", "", IDC_EDIT_AK, 140, 165, 295, 14, kEdit},
    {"STATIC", "Extra Configuration (KEY=VALUE;)", IDC_LABEL_EXTRA, 54, 257, 76, 21, kLabel},
    {"EDIT", "", IDC_EDIT_EXTRA, 139, 254, 298, 45, kEdit},
};

const VornDialogTemplate kDsnConfigDialog = {
    IDD_DSN_CONFIG,
    2052,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    "Orvelo Cloud VKL ODBC Driver Configuration",
    8,
    "MS Shell Dlg",
    467,
    346,
    kDsnConfigItems,
    (int)(sizeof(kDsnConfigItems) / sizeof(kDsnConfigItems[0])),
};

const VornDialogResource kRegistered(&kDsnConfigDialog);

} // namespace
