#pragma once

// The binary interface between the platform and its loadable components (PASSWORD.CPL,
// MPR.DLL): plain C types only, so that a component is an ordinary shared library that
// links nothing of the platform.
//
// A component may export "QvAttachComponent": the loader calls it right after loading the
// library (as the system calls a library's entry point when it is loaded), handing it the
// services below, valid until the library is freed; "QvDetachComponent", if exported, is
// called just before. A component keeps the pointer it was given: the player loads a
// component, calls it and frees it again at once.

#include <cstdint>

extern "C" {

// Results of the services: 0 = success, otherwise a Win32 error code.
// The size of every text buffer below, terminating 0 included.
enum { QV_TEXT_MAX = 256 };

// The change-password form: what it starts with, and what the user gave.
struct QvChangePasswordForm {
    int32_t HasOld;      // in: a password is set, so the form asks for it first
    int32_t UsePassword; // in: protection is on now; out: the check box as left
    char Old[QV_TEXT_MAX];
    char New[QV_TEXT_MAX];
    char Confirm[QV_TEXT_MAX];
};

struct QvComponentServices {
    uint32_t Size; // sizeof(QvComponentServices)
    void* Context;

    // Values under HKEY_CURRENT_USER\KEY. QueryValue: *size is the buffer's size on entry
    // and the value's on return; 234 (ERROR_MORE_DATA) when the buffer is too small.
    int32_t (*RegQueryValue)(void* context, const char* key, const char* name, uint32_t* type,
                             uint8_t* data, uint32_t* size);
    // Creates the key when it is missing.
    int32_t (*RegSetValue)(void* context, const char* key, const char* name, uint32_t type,
                           const uint8_t* data, uint32_t size);

    // The host's password prompt over `owner`: 1 and the typed text (0-terminated, at most
    // QV_TEXT_MAX - 1 bytes), or 0 when the user cancelled.
    int32_t (*AskPassword)(void* context, uint32_t owner, char* text);
    // The host's change-password form: 1 when confirmed (the texts and the check box
    // filled in), 0 when cancelled.
    int32_t (*AskChangePassword)(void* context, uint32_t owner, QvChangePasswordForm* form);
    // MessageBoxA; returns the button pressed.
    int32_t (*MessageBox)(void* context, uint32_t owner, const char* text, const char* caption,
                          uint32_t flags);
    // One trace event with fields given as a JSON object text ("{}" for none). Never pass
    // typed text here.
    void (*Trace)(void* context, const char* event, const char* fieldsJson);
};

typedef void (*QvAttachComponentProc)(const QvComponentServices* services);
typedef void (*QvDetachComponentProc)(void);

// The entry points the player calls, with the arguments and results the system's own
// components have (the system's calling convention is the platform's only one here).
// PASSWORD.CPL: non-zero (lowest byte) when the user gave the right password.
typedef int32_t (*VerifyScreenSavePwdProc)(uint32_t saverWnd);
// MPR.DLL: provider "SCRSAVE", the parent window, two reserved zeros; the result is not used.
typedef uint32_t (*PwdChangePasswordAProc)(const char* provider, uint32_t parent,
                                           uint32_t reserved1, uint32_t reserved2);
}
