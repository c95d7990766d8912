// The dialog backend on the controlling terminal: ncurses and its form
// library, opened on /dev/tty with newterm, so that it works while the host
// program's standard input and output are redirected, and never takes over
// a terminal the host is not attached to.
//
// Layout: dialog units become character cells (x/4, y/8). On a terminal too
// small for that, the same controls go one per line in tab order, each with
// its label in front; on one too small even for that, the dialog says so and
// waits for a larger terminal or the close keys.
//
// Keys: Tab and Shift-Tab move in tab order; Enter presses the focused
// button, and anywhere else the default button; Escape is the dialog
// manager's IDCANCEL command; Ctrl-C and F10 are the close box; Space presses
// the focused button or switches the drop-down list (so do the arrow keys);
// the edits take the usual editing keys.
// Password edits show one "*" per character and are edited at their end.
#define NCURSES_WIDECHAR 1

#include <fcntl.h>
#include <limits.h>
#include <locale.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>
#include <wctype.h>

#include <ncursesw/curses.h>
#include <ncursesw/form.h>

#include <string>
#include <vector>

#include "DialogBackend.h"

namespace {

const int kCtrlC = 3;
const int kEscape = 27;
const int kMinFieldWidth = 10; // room for "[ Cancel ]"
// Read errors in a row after which the terminal counts as gone (a hang-up
// makes every read fail at once).
const int kMaxReadErrors = 64;

const char* const kHint = " Tab: next  Enter: OK (on Cancel: Cancel)  Ctrl-C or F10: close ";

struct TextLine {
    int row, col;
    std::string text;
};

// Where each control goes in the body window (inside the frame).
struct Layout {
    int rows = 0, cols = 0;
    std::vector<int> row, col, width; // per control; width 0: not a field
    std::vector<TextLine> labels;
};

int displayWidth(const std::string& s) {
    size_t n = mbstowcs(NULL, s.c_str(), 0);
    return n == (size_t)-1 ? (int)s.size() : (int)n;
}

// Writes at most `cols` characters of `text` (waddnstr would count bytes,
// and cut a text in a multibyte encoding short).
void addCut(WINDOW* w, int row, int col, const std::string& text, int cols) {
    size_t n = mbstowcs(NULL, text.c_str(), 0);
    if (n == (size_t)-1) {
        mvwaddnstr(w, row, col, text.c_str(), cols);
        return;
    }
    std::vector<wchar_t> wide(n + 1);
    mbstowcs(wide.data(), text.c_str(), n + 1);
    mvwaddnwstr(w, row, col, wide.data(), cols);
}

// Greedy word wrap into lines of at most `width` columns; a word longer
// than that stands on a line of its own.
std::vector<std::string> wrapWords(const std::string& text, int width) {
    std::vector<std::string> lines;
    std::string line;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find(' ', i);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(i, end - i);
        if (!line.empty() && displayWidth(line) + 1 + displayWidth(word) > width) {
            lines.push_back(line);
            line.clear();
        }
        if (!word.empty()) {
            line += (line.empty() ? "" : " ") + word;
        }
        i = end + 1;
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
    return lines;
}

// The character row that a control's first line of text falls on: labels
// are one text line (8 units) high, edits, lists and buttons 14.
int rowOf(const VornDialogControl& c) {
    int lineHeight = c.kind == VORN_CONTROL_LABEL ? 8 : 14;
    int h = c.item->cy < lineHeight ? c.item->cy : lineHeight;
    return (c.item->y + h / 2 + 3) / 8;
}

bool focusable(const VornDialogControl& c) {
    return c.kind != VORN_CONTROL_LABEL && c.tabStop;
}

Layout templateLayout(const VornDialog& d) {
    Layout l;
    l.rows = d.dialogTemplate->cy / 8;
    l.cols = (d.dialogTemplate->cx + 3) / 4;
    size_t n = d.controls.size();
    l.row.assign(n, 0);
    l.col.assign(n, 0);
    l.width.assign(n, 0);
    for (size_t i = 0; i < n; i++) {
        const VornDialogControl& c = d.controls[i];
        int x = c.item->x / 4;
        int w = c.item->cx / 4 > 0 ? c.item->cx / 4 : 1;
        int row = rowOf(c);
        if (c.kind == VORN_CONTROL_LABEL) {
            int maxLines = c.item->cy / 8 > 1 ? c.item->cy / 8 : 1;
            std::vector<std::string> lines = displayWidth(c.text) > w && maxLines > 1
                                                 ? wrapWords(c.text, w)
                                                 : std::vector<std::string>{c.text};
            for (size_t k = 0; k < lines.size(); k++) {
                // Right-aligned; a line wider than its box runs out to the left.
                int col = x + w - displayWidth(lines[k]);
                l.labels.push_back({row + (int)k, col < 0 ? 0 : col, lines[k]});
            }
        } else if (focusable(c)) {
            l.row[i] = row;
            l.col[i] = x;
            l.width[i] = w;
        }
    }
    return l;
}

// The label that names a control: on the control's row, left of it, the
// nearest one.
int labelFor(const VornDialog& d, size_t controlIndex) {
    const VornDialogControl& c = d.controls[controlIndex];
    int best = -1, bestRight = -1;
    for (size_t i = 0; i < d.controls.size(); i++) {
        const VornDialogControl& l = d.controls[i];
        int right = l.item->x + l.item->cx;
        if (l.kind == VORN_CONTROL_LABEL && rowOf(l) == rowOf(c) && right <= c.item->x &&
            right > bestRight) {
            best = (int)i;
            bestRight = right;
        }
    }
    return best;
}

// One line per focusable control in tab order, labels in a column in front.
// `labelWidth` and `count` describe it whatever the terminal.
struct CompactShape {
    std::vector<int> label; // per control: its label, -1 for none
    int labelWidth = 0, widest = 0, count = 0;
};

CompactShape compactShape(const VornDialog& d) {
    CompactShape s;
    s.label.assign(d.controls.size(), -1);
    for (size_t i = 0; i < d.controls.size(); i++) {
        if (!focusable(d.controls[i])) continue;
        s.label[i] = labelFor(d, i);
        if (s.label[i] >= 0) {
            int w = displayWidth(d.controls[(size_t)s.label[i]].text);
            if (w > s.labelWidth) s.labelWidth = w;
        }
        int w = d.controls[i].item->cx / 4;
        if (w > s.widest) s.widest = w;
        s.count++;
    }
    return s;
}

// Empty (rows 0) when `maxCols` cannot hold it.
Layout compactLayout(const VornDialog& d, int maxCols) {
    Layout l;
    CompactShape s = compactShape(d);
    size_t n = d.controls.size();
    l.row.assign(n, 0);
    l.col.assign(n, 0);
    l.width.assign(n, 0);
    int fieldCol = s.labelWidth + 1;
    int room = maxCols - fieldCol;
    if (room < kMinFieldWidth) {
        return Layout();
    }
    l.rows = s.count;
    l.cols = fieldCol + (s.widest < room ? s.widest : room);
    int row = 0;
    for (size_t i = 0; i < n; i++) {
        if (!focusable(d.controls[i])) continue;
        int w = d.controls[i].item->cx / 4;
        l.row[i] = row;
        l.col[i] = fieldCol;
        l.width[i] = w < 1 ? 1 : (w < room ? w : room);
        if (s.label[i] >= 0) {
            const std::string& text = d.controls[(size_t)s.label[i]].text;
            l.labels.push_back({row, s.labelWidth - displayWidth(text), text});
        }
        row++;
    }
    return l;
}

// Text that the form can show and give back unchanged: valid in the locale's
// character set and free of control characters.
bool editable(const std::string& text) {
    size_t n = mbstowcs(NULL, text.c_str(), 0);
    if (n == (size_t)-1) return false;
    std::vector<wchar_t> wide(n + 1);
    mbstowcs(wide.data(), text.c_str(), n + 1);
    for (size_t i = 0; i < n; i++) {
        if (iswcntrl((wint_t)wide[i])) return false;
    }
    return true;
}

// A text holding control characters cannot be saved as it is, so it is
// shown with "?" in their place and may be edited: what the user types
// replaces it, while left untouched it stays as it was (and OK refuses it).
std::string withoutControls(const std::string& text) {
    std::string shown = text;
    for (char& ch : shown) {
        if ((unsigned char)ch < 0x20 || ch == 0x7F) ch = '?';
    }
    return shown;
}

std::string rtrim(const char* s) {
    std::string t = s != NULL ? s : "";
    size_t end = t.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : t.substr(0, end + 1);
}

// Removes the last character (not byte) of a text in the locale's encoding.
void dropLastChar(std::string& text) {
    mbstate_t state;
    memset(&state, 0, sizeof(state));
    size_t i = 0, last = 0;
    while (i < text.size()) {
        size_t n = mbrlen(text.c_str() + i, text.size() - i, &state);
        if (n == (size_t)-1 || n == (size_t)-2 || n == 0) n = 1;
        last = i;
        i += n;
    }
    text.erase(last);
}

class TerminalBackend : public VornDialogBackend {
  public:
    bool open(VornDialog& dialog) override {
        if (!startTerminal()) {
            return false;
        }
        dialog_ = &dialog;
        build();
        return true;
    }

    VornDialogInput nextInput(VornDialog& dialog) override {
        int errors = 0;
        for (;;) {
            if (dialog.changes != seenChanges_) {
                rebuild();
            }
            placeCursor();
            wint_t ch = 0;
            int status = wget_wch(inputWindow(), &ch);
            if (status == ERR) {
                if (++errors >= kMaxReadErrors) return {VORN_INPUT_LOST, 0};
                continue;
            }
            errors = 0;
            VornDialogInput input;
            if (handleKey(status, ch, &input)) {
                syncToDialog();
                return input;
            }
        }
    }

    void close(VornDialog& dialog) override {
        teardown();
        dialog_ = NULL;
        stopTerminal();
    }

    int messageBox(VornDialog* over, const char* text, const char* caption) override {
        bool ownSession = screen_ == NULL;
        if (ownSession && !startTerminal()) {
            return 0;
        }
        if (form_ != NULL) {
            syncToDialog();
        }
        runMessageBox(text, caption);
        if (ownSession) {
            stopTerminal();
        } else if (dialog_ != NULL) {
            rebuild();
        }
        return IDOK;
    }

  private:
    // --- the terminal ------------------------------------------------------

    bool startTerminal() {
        int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        tty_ = fdopen(fd, "r+");
        if (tty_ == NULL) {
            ::close(fd);
            return false;
        }
        // ncurses installs its own handlers for signals still at their
        // default; the host gets its own back when the dialog ends.
        for (size_t i = 0; i < kSignalCount; i++) {
            sigaction(kSignals[i], NULL, &savedSignals_[i]);
        }
        const char* locale = setlocale(LC_CTYPE, NULL);
        savedLocale_ = locale != NULL ? locale : "C";
        setlocale(LC_CTYPE, "");
        screen_ = newterm(NULL, tty_, tty_);
        // A terminal type without cursor addressing (such as "dumb") could
        // only print the dialog line after line.
        const char* cup = screen_ != NULL ? tigetstr((char*)"cup") : NULL;
        if (cup == NULL || cup == (const char*)-1) {
            if (screen_ != NULL) {
                endwin();
                delscreen(screen_);
                screen_ = NULL;
            }
            restoreHost();
            fclose(tty_);
            tty_ = NULL;
            return false;
        }
        // raw: Ctrl-C reaches us as a key (the close box) and never stops the
        // host program.
        raw();
        noecho();
        nonl();
        keypad(stdscr, TRUE);
        return true;
    }

    void stopTerminal() {
        if (screen_ == NULL) return;
        endwin();
        delscreen(screen_);
        screen_ = NULL;
        fclose(tty_);
        tty_ = NULL;
        restoreHost();
    }

    void restoreHost() {
        setlocale(LC_CTYPE, savedLocale_.c_str());
        for (size_t i = 0; i < kSignalCount; i++) {
            sigaction(kSignals[i], &savedSignals_[i], NULL);
        }
    }

    // --- building and drawing the dialog -------------------------------------

    void build() {
        seenChanges_ = dialog_->changes;
        const VornDialogTemplate* t = dialog_->dialogTemplate;
        Layout l = templateLayout(*dialog_);
        if (LINES < l.rows + 2 || COLS < l.cols + 2) {
            l = compactLayout(*dialog_, COLS - 2);
        }
        if (l.rows == 0 || LINES < l.rows + 2 || COLS < l.cols + 2) {
            drawTooSmall(t);
            return;
        }
        layout_ = l;
        clear();
        refresh();
        frame_ = newwin(l.rows + 2, l.cols + 2, (LINES - l.rows - 2) / 2, (COLS - l.cols - 2) / 2);
        body_ = derwin(frame_, l.rows, l.cols, 1, 1);
        keypad(frame_, TRUE);
        fieldControl_.clear();
        fields_.clear();
        for (size_t i = 0; i < dialog_->controls.size(); i++) {
            if (l.width[i] <= 0) continue;
            FIELD* f = makeField(dialog_->controls[i], l.row[i], l.col[i], l.width[i]);
            if (f == NULL) continue;
            fields_.push_back(f);
            fieldControl_.push_back((int)i);
        }
        fields_.push_back(NULL);
        form_ = new_form(fields_.data());
        if (form_ == NULL) {
            teardown();
            drawTooSmall(t);
            return;
        }
        form_opts_off(form_, O_BS_OVERLOAD | O_NL_OVERLOAD);
        set_form_win(form_, frame_);
        set_form_sub(form_, body_);
        set_form_userptr(form_, this);
        set_field_init(form_, &TerminalBackend::onFieldEnter);
        set_field_term(form_, &TerminalBackend::onFieldLeave);
        if (post_form(form_) != E_OK) {
            teardown();
            drawTooSmall(t);
            return;
        }
        for (size_t k = 0; k + 1 < fields_.size(); k++) {
            if (fieldControl_[k] == dialog_->focus) set_current_field(form_, fields_[k]);
        }
        dialog_->focus = currentControl();
        highlight(current_field(form_), true);
        drawFrame(t, l);
        if (isEdit(dialog_->focus)) form_driver_w(form_, KEY_CODE_YES, REQ_END_LINE);
        wrefresh(frame_);
    }

    FIELD* makeField(const VornDialogControl& c, int row, int col, int width) {
        FIELD* f = new_field(1, width, row, col, 0, 0);
        if (f == NULL) return NULL;
        field_opts_off(f, O_AUTOSKIP | O_BLANK | O_STATIC);
        switch (c.kind) {
        case VORN_CONTROL_EDIT: {
            size_t chars = (size_t)displayWidth(c.text);
            if (c.password) {
                set_field_buffer(f, 0, std::string(chars, '*').c_str());
            } else {
                if (c.textLimit > 0) {
                    set_max_field(f, c.textLimit > (int)chars ? c.textLimit : (int)chars);
                }
                std::string shown = withoutControls(c.text);
                set_field_buffer(f, 0, shown.c_str());
                if (!editable(shown)) field_opts_off(f, O_EDIT);
            }
            set_field_back(f, A_UNDERLINE);
            break;
        }
        case VORN_CONTROL_LIST:
            field_opts_off(f, O_EDIT);
            set_field_back(f, A_UNDERLINE);
            set_field_buffer(f, 0, listText(c, width).c_str());
            break;
        default: {
            field_opts_off(f, O_EDIT);
            std::string face = "[ " + c.text + " ]";
            int pad = (width - displayWidth(face)) / 2;
            set_field_buffer(f, 0, (std::string(pad > 0 ? (size_t)pad : 0, ' ') + face).c_str());
            set_field_back(f, c.defaultButton ? A_BOLD : A_NORMAL);
            break;
        }
        }
        set_field_status(f, FALSE);
        return f;
    }

    static std::string listText(const VornDialogControl& c, int width) {
        std::string text = c.selection >= 0 ? c.entries[(size_t)c.selection] : std::string();
        int pad = width - 1 - displayWidth(text);
        if (pad < 0) return text;
        return text + std::string((size_t)pad, ' ') + "v";
    }

    void drawFrame(const VornDialogTemplate* t, const Layout& l) {
        box(frame_, 0, 0);
        std::string caption = std::string(" ") + (t->caption != NULL ? t->caption : "") + " ";
        int room = l.cols - 4;
        if (room > 2) addCut(frame_, 0, 2, caption, room);
        // The close box of the caption bar.
        if (l.cols >= 8) mvwaddstr(frame_, 0, l.cols - 3, "[X]");
        if ((int)strlen(kHint) <= l.cols - 2) mvwaddstr(frame_, l.rows + 1, 2, kHint);
        for (const TextLine& line : l.labels) {
            if (line.row < l.rows) mvwaddnstr(body_, line.row, line.col, line.text.c_str(), -1);
        }
        touchwin(frame_);
    }

    void drawTooSmall(const VornDialogTemplate* t) {
        CompactShape need = compactShape(*dialog_);
        char text[512];
        snprintf(text, sizeof(text),
                 "The terminal is too small for \"%s\": it needs at least %d columns and %d lines. "
                 "Enlarge it, or press Ctrl-C to close.",
                 t->caption != NULL ? t->caption : "", need.labelWidth + 1 + kMinFieldWidth + 2,
                 need.count + 2);
        clear();
        int width = COLS > 2 ? COLS - 2 : 1;
        std::vector<std::string> lines = wrapWords(text, width);
        for (size_t i = 0; i < lines.size() && (int)i < LINES; i++) {
            addCut(stdscr, (int)i, 0, lines[i], COLS);
        }
        refresh();
        tooSmall_ = true;
    }

    void teardown() {
        if (form_ != NULL) {
            unpost_form(form_);
            free_form(form_);
            form_ = NULL;
        }
        for (FIELD* f : fields_) {
            if (f != NULL) free_field(f);
        }
        fields_.clear();
        fieldControl_.clear();
        if (body_ != NULL) delwin(body_);
        if (frame_ != NULL) delwin(frame_);
        body_ = frame_ = NULL;
        tooSmall_ = false;
    }

    void rebuild() {
        teardown();
        build();
    }

    WINDOW* inputWindow() { return frame_ != NULL ? frame_ : stdscr; }

    void placeCursor() {
        if (form_ == NULL) {
            curs_set(0);
            return;
        }
        const VornDialogControl* c = focusedControl();
        curs_set(c != NULL && c->kind == VORN_CONTROL_EDIT ? 1 : 0);
        pos_form_cursor(form_);
        wrefresh(frame_);
    }

    // --- focus -----------------------------------------------------------------

    int currentControl() {
        if (form_ == NULL) return -1;
        int k = field_index(current_field(form_));
        return k >= 0 && (size_t)k < fieldControl_.size() ? fieldControl_[(size_t)k] : -1;
    }

    VornDialogControl* focusedControl() {
        int i = currentControl();
        return i >= 0 ? &dialog_->controls[(size_t)i] : NULL;
    }

    bool isEdit(int control) {
        return control >= 0 && dialog_->controls[(size_t)control].kind == VORN_CONTROL_EDIT;
    }

    void highlight(FIELD* f, bool on) {
        int k = field_index(f);
        if (k < 0 || (size_t)k >= fieldControl_.size()) return;
        const VornDialogControl& c = dialog_->controls[(size_t)fieldControl_[(size_t)k]];
        if (c.kind == VORN_CONTROL_EDIT) return; // the cursor shows it
        chtype normal = c.kind == VORN_CONTROL_LIST ? A_UNDERLINE
                        : c.defaultButton           ? A_BOLD
                                                    : A_NORMAL;
        set_field_back(f, on ? (normal | A_REVERSE) : normal);
    }

    static void onFieldEnter(FORM* form) {
        TerminalBackend* self = static_cast<TerminalBackend*>(form_userptr(form));
        self->highlight(current_field(form), true);
    }

    static void onFieldLeave(FORM* form) {
        TerminalBackend* self = static_cast<TerminalBackend*>(form_userptr(form));
        self->highlight(current_field(form), false);
    }

    // Moves the focus; an edit is entered at the end of its text.
    void move(int request) {
        form_driver_w(form_, KEY_CODE_YES, request);
        dialog_->focus = currentControl();
        if (isEdit(dialog_->focus)) form_driver_w(form_, KEY_CODE_YES, REQ_END_LINE);
    }

    // --- keys ------------------------------------------------------------------

    int defaultButton() const {
        for (const VornDialogControl& c : dialog_->controls) {
            if (c.defaultButton) return c.item->id;
        }
        return IDOK;
    }

    // Handles one key; true when it is an input for the dialog procedure.
    bool handleKey(int status, wint_t ch, VornDialogInput* input) {
        bool function = status == KEY_CODE_YES;
        if (function && ch == KEY_RESIZE) {
            rebuild();
            return false;
        }
        if ((!function && ch == kCtrlC) || (function && ch == (wint_t)KEY_F(10))) {
            *input = {VORN_INPUT_CLOSE, 0};
            return true;
        }
        if (tooSmall_ || form_ == NULL) {
            return false; // nothing to act on until the terminal grows
        }
        if ((!function && (ch == '\r' || ch == '\n')) || (function && ch == KEY_ENTER)) {
            // As in a Windows dialog: a focused push button is the default one.
            const VornDialogControl* c = focusedControl();
            bool button = c != NULL && c->kind == VORN_CONTROL_BUTTON;
            *input = {VORN_INPUT_COMMAND, button ? c->item->id : defaultButton()};
            return true;
        }
        if (!function && ch == kEscape) {
            *input = {VORN_INPUT_COMMAND, IDCANCEL};
            return true;
        }
        if (!function && ch == '\t') {
            move(REQ_NEXT_FIELD);
            return false;
        }
        if (function && ch == KEY_BTAB) {
            move(REQ_PREV_FIELD);
            return false;
        }
        VornDialogControl* c = focusedControl();
        if (c == NULL) return false;
        switch (c->kind) {
        case VORN_CONTROL_BUTTON:
            if (!function && ch == ' ') {
                *input = {VORN_INPUT_COMMAND, c->item->id};
                return true;
            }
            return false;
        case VORN_CONTROL_LIST:
            if ((!function && ch == ' ') || (function && (ch == KEY_LEFT || ch == KEY_RIGHT ||
                                                          ch == KEY_UP || ch == KEY_DOWN))) {
                stepList(*c, function && (ch == KEY_LEFT || ch == KEY_UP) ? -1 : 1);
            }
            return false;
        case VORN_CONTROL_EDIT:
            if (c->password) {
                editPassword(*c, function, ch);
            } else {
                editText(function, ch);
            }
            return false;
        default:
            return false;
        }
    }

    void stepList(VornDialogControl& c, int step) {
        int n = (int)c.entries.size();
        if (n == 0) return;
        c.selection = c.selection < 0 ? 0 : ((c.selection + step) % n + n) % n;
        int control = currentControl();
        if (control < 0) return;
        set_field_buffer(current_field(form_), 0,
                         listText(c, layout_.width[(size_t)control]).c_str());
    }

    void editText(bool function, wint_t ch) {
        int request = 0;
        if (function) {
            switch (ch) {
            case KEY_LEFT:
                request = REQ_PREV_CHAR;
                break;
            case KEY_RIGHT:
                request = REQ_NEXT_CHAR;
                break;
            case KEY_HOME:
                request = REQ_BEG_LINE;
                break;
            case KEY_END:
                request = REQ_END_LINE;
                break;
            case KEY_BACKSPACE:
                request = REQ_DEL_PREV;
                break;
            case KEY_DC:
                request = REQ_DEL_CHAR;
                break;
            default:
                return;
            }
            form_driver_w(form_, KEY_CODE_YES, request);
        } else if (ch == 127 || ch == 8) {
            form_driver_w(form_, KEY_CODE_YES, REQ_DEL_PREV);
        } else if (iswprint(ch)) {
            form_driver_w(form_, OK, (wchar_t)ch);
        }
    }

    // Password edits keep the real text in the control and show stars; they
    // are typed and erased at their end only.
    void editPassword(VornDialogControl& c, bool function, wint_t ch) {
        if ((function && ch == KEY_BACKSPACE) || (!function && (ch == 127 || ch == 8))) {
            if (c.text.empty()) return;
            dropLastChar(c.text);
            form_driver_w(form_, KEY_CODE_YES, REQ_END_LINE);
            form_driver_w(form_, KEY_CODE_YES, REQ_DEL_PREV);
            return;
        }
        if (function || !iswprint(ch)) return;
        if (c.textLimit > 0 && displayWidth(c.text) >= c.textLimit) return;
        char bytes[MB_LEN_MAX];
        mbstate_t state;
        memset(&state, 0, sizeof(state));
        size_t n = wcrtomb(bytes, (wchar_t)ch, &state);
        if (n == (size_t)-1) return;
        c.text.append(bytes, n);
        form_driver_w(form_, KEY_CODE_YES, REQ_END_LINE);
        form_driver_w(form_, OK, L'*');
    }

    // Puts what the user typed into the dialog's controls. Only edits that
    // were changed are read back, so text the form cannot show stays as it
    // was.
    void syncToDialog() {
        if (form_ == NULL) return;
        form_driver_w(form_, KEY_CODE_YES, REQ_VALIDATION);
        for (size_t k = 0; k + 1 < fields_.size(); k++) {
            VornDialogControl& c = dialog_->controls[(size_t)fieldControl_[k]];
            if (c.kind == VORN_CONTROL_EDIT && !c.password && field_status(fields_[k])) {
                c.text = rtrim(field_buffer(fields_[k], 0));
                set_field_status(fields_[k], FALSE);
            }
        }
    }

    // --- message boxes ---------------------------------------------------------

    void runMessageBox(const char* text, const char* caption) {
        int errors = 0;
        for (;;) {
            WINDOW* w = drawMessageBox(text, caption);
            wint_t ch = 0;
            int status = w != NULL ? wget_wch(w, &ch) : wget_wch(stdscr, &ch);
            if (w != NULL) delwin(w);
            if (status == ERR) {
                if (++errors >= kMaxReadErrors) return;
                continue;
            }
            errors = 0;
            bool function = status == KEY_CODE_YES;
            if (function && ch == KEY_RESIZE) {
                if (dialog_ != NULL) rebuild();
                continue;
            }
            if ((!function &&
                 (ch == '\r' || ch == '\n' || ch == ' ' || ch == kEscape || ch == kCtrlC)) ||
                (function && (ch == KEY_ENTER || ch == (wint_t)KEY_F(10)))) {
                return;
            }
        }
    }

    WINDOW* drawMessageBox(const char* text, const char* caption) {
        int maxInner = (COLS < 64 ? COLS : 64) - 4;
        if (maxInner < 1) maxInner = 1;
        std::vector<std::string> lines;
        std::string all = text;
        size_t start = 0;
        while (start <= all.size()) {
            size_t nl = all.find('\n', start);
            std::string para =
                all.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
            for (const std::string& l : wrapWords(para, maxInner))
                lines.push_back(l);
            if (nl == std::string::npos) break;
            start = nl + 1;
        }
        int inner = displayWidth(caption) + 2;
        for (const std::string& l : lines) {
            if (displayWidth(l) > inner) inner = displayWidth(l);
        }
        if (inner < 8) inner = 8;
        int width = inner + 4 > COLS ? COLS : inner + 4;
        int height = (int)lines.size() + 4 > LINES ? LINES : (int)lines.size() + 4;
        if (width < 3 || height < 3) return NULL;
        WINDOW* w = newwin(height, width, (LINES - height) / 2, (COLS - width) / 2);
        if (w == NULL) return NULL;
        keypad(w, TRUE);
        werase(w);
        box(w, 0, 0);
        std::string title = std::string(" ") + caption + " ";
        addCut(w, 0, 2, title, width - 4 > 0 ? width - 4 : 0);
        for (size_t i = 0; i < lines.size() && (int)i + 1 < height - 2; i++) {
            addCut(w, (int)i + 1, 2, lines[i], width - 4);
        }
        const char* ok = "[ OK ]";
        wattron(w, A_REVERSE);
        mvwaddnstr(w, height - 2, (width - 6) / 2 > 0 ? (width - 6) / 2 : 1, ok, width - 2);
        wattroff(w, A_REVERSE);
        curs_set(0);
        wrefresh(w);
        return w;
    }

    static const size_t kSignalCount = 5;
    const int kSignals[kSignalCount] = {SIGINT, SIGTERM, SIGQUIT, SIGTSTP, SIGWINCH};

    FILE* tty_ = NULL;
    SCREEN* screen_ = NULL;
    std::string savedLocale_;
    struct sigaction savedSignals_[kSignalCount];

    VornDialog* dialog_ = NULL;
    Layout layout_;
    WINDOW* frame_ = NULL;
    WINDOW* body_ = NULL;
    FORM* form_ = NULL;
    std::vector<FIELD*> fields_;    // NULL-terminated, in tab order
    std::vector<int> fieldControl_; // the control of each field
    unsigned long seenChanges_ = 0;
    bool tooSmall_ = false;
};

} // namespace

VornDialogBackend* vornTerminalDialogBackend() {
    static TerminalBackend backend;
    return &backend;
}
