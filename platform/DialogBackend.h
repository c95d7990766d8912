// The drawing side of the dialog calls in Dialog.h: a dialog's live state,
// and the backend that shows it and reports what the user does. The terminal
// backend (ncurses) is the one the library uses; tests put a scripted one in
// its place.
#ifndef VORN_PLATFORM_DIALOG_BACKEND_H
#define VORN_PLATFORM_DIALOG_BACKEND_H

#include <string>
#include <vector>

#include "Dialog.h"

enum VornControlKind {
    VORN_CONTROL_LABEL,
    VORN_CONTROL_BUTTON,
    VORN_CONTROL_EDIT,
    VORN_CONTROL_LIST,
};

// One control of an open dialog.
struct VornDialogControl {
    const VornDialogItem* item;
    VornControlKind kind;
    bool defaultButton;
    bool password;
    bool tabStop;
    std::string text;                 // edits, labels and buttons
    std::vector<std::string> entries; // drop-down list
    int selection;                    // index into entries, CB_ERR for none
    int textLimit;                    // characters an edit takes from the keyboard; 0: no limit
};

// An open modal dialog; its address is the dialog's window handle.
struct VornDialog {
    const VornDialogTemplate* dialogTemplate;
    std::vector<VornDialogControl> controls; // in template (tab) order
    unsigned long changes;                   // counts the changes the program made to the controls
    int focus;                               // index of the control with the focus; -1: the first
    bool ended;
    INT_PTR result;
    intptr_t userData; // DWLP_USER

    explicit VornDialog(const VornDialogTemplate* t);
    VornDialogControl* control(int id);
};

enum VornDialogInputKind {
    VORN_INPUT_COMMAND, // a button, Enter (the default button) or Escape (IDCANCEL)
    VORN_INPUT_CLOSE,   // the window's close box
    VORN_INPUT_LOST,    // the terminal went away
};

struct VornDialogInput {
    VornDialogInputKind kind;
    int id; // the command's control id
};

class VornDialogBackend {
  public:
    virtual ~VornDialogBackend() {}
    // Shows the dialog; false when it cannot be shown (then nothing was drawn
    // and nothing waits for the user).
    virtual bool open(VornDialog& dialog) = 0;
    // Waits for the next user action that the dialog procedure must hear of.
    // When it returns, the controls hold what the user typed and chose.
    virtual VornDialogInput nextInput(VornDialog& dialog) = 0;
    virtual void close(VornDialog& dialog) = 0;
    // A message box with an OK button, drawn over `over` when a dialog is
    // open. IDOK once the user dismissed it, 0 when it cannot be shown.
    virtual int messageBox(VornDialog* over, const char* text, const char* caption) = 0;
};

// The backend for the dialogs and message boxes that follow; NULL restores
// the terminal backend.
void vornSetDialogBackend(VornDialogBackend* backend);

// The ncurses backend on the controlling terminal (/dev/tty).
VornDialogBackend* vornTerminalDialogBackend();

#endif
