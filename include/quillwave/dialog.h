/*
 * Quillwave: the file-information dialog as a host sees it.
 *
 * ExtendedInfo opens one modeless dialog (a second call only brings it to the
 * front).  A host finds it by its caption, QW_FILE_INFO_CAPTION, and works its
 * controls by the ids below, as a user would: it reads and sets the texts,
 * picks a genre, and clicks Save, Wipe Tag or Close.  The outcome of Save and
 * Wipe Tag is shown on the status line (QW_ITEM_STATUS).
 *
 * Windows: the dialog is a window of the system's window manager, and the
 * ordinary window calls reach it (FindWindowA, GetDlgItemTextA,
 * SetDlgItemTextA, IsWindowEnabled, BM_CLICK, CB_GETCOUNT, CB_GETCURSEL,
 * CB_SETCURSEL, CB_GETLBTEXT, ...).
 *
 * Linux: there is no display; the module keeps its dialogs in a headless
 * dialog manager of its own, inside the shared object.  The Linux module has
 * one export beyond the entry points, HeadlessDialogs, which returns a table
 * of C functions over that manager; every function has the semantics of the
 * Windows call named beside it.  The Windows DLL has no such export.
 *
 * Everything up to the table is plain macros, so resource scripts can use it.
 */
#ifndef QUILLWAVE_DIALOG_H
#define QUILLWAVE_DIALOG_H

/* The dialog's caption: the name to find its window by. */
#define QW_FILE_INFO_CAPTION "Quillwave File Information"

/* Control ids.  The tag fields: */
#define QW_ITEM_ARTIST 1001  /* edit, up to 30 characters are saved */
#define QW_ITEM_TITLE 1002   /* edit, 30 */
#define QW_ITEM_ALBUM 1003   /* edit, 30 */
#define QW_ITEM_COMMENT 1004 /* edit, 30 */
#define QW_ITEM_YEAR 1007    /* edit, 4 */
#define QW_ITEM_GENRE 1006   /* drop-down list: the genres in table order, position = genre number */
/* Buttons; a click on one that is disabled does nothing. */
#define QW_ITEM_SAVE 2
#define QW_ITEM_WIPE 3
#define QW_ITEM_CLOSE 8 /* the default button: Enter presses it */
/* What the dialog shows. */
#define QW_ITEM_PATH 1008       /* read-only edit: the file's path */
#define QW_ITEM_PROPERTIES 1010 /* read-only multi-line edit: the stream's properties, lines end in \r\n */
#define QW_ITEM_STATUS 1011     /* status line */
/* Frames and labels, disabled with the buttons when the file cannot be read. */
#define QW_ITEM_TAG_GROUP 2001
#define QW_ITEM_ARTIST_LABEL 2002
#define QW_ITEM_TITLE_LABEL 2003
#define QW_ITEM_ALBUM_LABEL 2004
#define QW_ITEM_COMMENT_LABEL 2005
#define QW_ITEM_YEAR_GENRE_LABEL 2006
#define QW_ITEM_FILE_GROUP (-1)

/* Status-line texts.  A failed open for writing shows
 * "Error Opening: `PATH` for writing" instead. */
#define QW_STATUS_READY "Use Me!"
#define QW_STATUS_CANNOT_EDIT "Cannot Edit TAG" /* the file could not be read: Save and Wipe Tag are disabled */
#define QW_STATUS_SAVED "TAG Saved!"
#define QW_STATUS_SAVE_FAILED "Error saving TAG"
#define QW_STATUS_WIPED "TAG Wiped!"
#define QW_STATUS_WIPE_FAILED "Error Wiping TAG"

#if !defined(RC_INVOKED) && !defined(_WIN32)

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A window of the module's headless dialog manager; null means none.  Valid
 * only with the table it came from. */
typedef void* QwWindow;

/* What the combo-box functions answer for "no selection" or a failure (CB_ERR). */
#define QW_COMBO_ERROR (-1)

/* Keys for deliverKey (virtual-key codes). */
#define QW_KEY_RETURN 0x0D
#define QW_KEY_ESCAPE 0x1B

/* The headless dialog manager's calls.  All run synchronously on the calling
 * thread: a click reaches the dialog's procedure before clickItem returns.
 * Booleans are int32_t, nonzero for true. */
typedef struct HeadlessDialogTable {
    /* Bytes of this table as the module fills it; later versions only append.
     * Check a member with QW_HEADLESS_DIALOGS_HAVE before calling it. */
    uint32_t size;
    /* FindWindowA(NULL, caption): the first window with that caption, hidden
     * ones too; NULL caption: any window. */
    QwWindow (*findWindow)(const char* caption);
    /* IsWindowVisible. */
    int32_t (*isWindowVisible)(QwWindow window);
    /* GetDlgItemTextA: copies at most size - 1 characters and a NUL; returns
     * the number copied (0 and "" for an unknown control). */
    uint32_t (*getItemText)(QwWindow dialog, int32_t id, char* buffer, int32_t size);
    /* SetDlgItemTextA. */
    int32_t (*setItemText)(QwWindow dialog, int32_t id, const char* text);
    /* IsWindowEnabled(GetDlgItem(dialog, id)). */
    int32_t (*isItemEnabled)(QwWindow dialog, int32_t id);
    /* A click as the user makes it: an enabled button sends its command to
     * the dialog; a disabled button, a frame or another control does nothing. */
    void (*clickItem)(QwWindow dialog, int32_t id);
    /* CB_GETCOUNT. */
    int32_t (*comboCount)(QwWindow dialog, int32_t id);
    /* CB_GETCURSEL: the selected position, or QW_COMBO_ERROR when none. */
    int32_t (*comboSelection)(QwWindow dialog, int32_t id);
    /* CB_SETCURSEL: the position, or QW_COMBO_ERROR (and no selection) when
     * it lies outside the list.  The dialog is not told, as with the message. */
    int32_t (*comboSetSelection)(QwWindow dialog, int32_t id, int32_t index);
    /* CB_GETLBTEXT, cut to size - 1 characters and a NUL: the length, or
     * QW_COMBO_ERROR. */
    int32_t (*comboItemText)(QwWindow dialog, int32_t id, int32_t index, char* buffer, uint32_t size);
    /* DestroyWindow: the dialog's procedure cleans up, and the window is gone. */
    int32_t (*destroyWindow)(QwWindow window);
    /* A key-down for the window as the calling thread's message loop takes
     * it off the queue: it passes the thread's message hooks, and the dialog
     * turns Return into its default button's command and Escape into command
     * 2 (which is Save's id).  Nonzero when a hook took the key. */
    int32_t (*deliverKey)(QwWindow window, uint32_t key);
    /* Who answers the module's message boxes (MessageBoxA, with OK only).
     * Without a handler a box is written on standard error as one line,
     * "CAPTION: TEXT", and taken as OK.  With one, each box goes to it instead,
     * on the thread that shows the box, and is taken as OK when it returns: the
     * handler stands for the user who reads the box and presses OK.  A null
     * handler goes back to standard error. */
    void (*setMessageBoxHandler)(void (*handler)(void* context, const char* text, const char* caption), void* context);
} HeadlessDialogTable;

/* Whether a table has the given member. */
#define QW_HEADLESS_DIALOGS_HAVE(table, member) \
    ((table) != NULL && (table)->size >= offsetof(HeadlessDialogTable, member) + sizeof((table)->member))

/* The Linux-only export "HeadlessDialogs": the module's table, valid while the
 * module stays loaded. */
typedef const HeadlessDialogTable* (*HeadlessDialogsFn)(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* !RC_INVOKED && !_WIN32 */

#endif /* QUILLWAVE_DIALOG_H */
