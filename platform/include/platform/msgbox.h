// MessageBoxW stand-in: the process installs a handler that shows the box (the setup tool a Qt
// dialog, a terminal program a prompt on its terminal). Without one the text goes to the
// standard error stream and the box answers as if its default button were pressed at once, so
// a service never hangs on a dialog nobody can see.
#pragma once

#include <functional>
#include <string>

#include "platform/wintypes.h"

using HWND = void*;

// Button sets (the low four bits of the type).
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_TYPEMASK = 0x0000000F;
// Icons.
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_ICONMASK = 0x000000F0;
// Default button.
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_DEFMASK = 0x00000F00;
// The box stays above other windows.
constexpr UINT MB_TOPMOST = 0x00040000;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows one box and returns the button chosen (IDOK ...). Called on whichever thread asked for
// the box; a handler that must show it on another thread (a GUI thread) waits for the answer.
using MessageBoxHandler = std::function<int(const std::wstring& text, const std::wstring& caption, UINT type)>;

// Installs the process's handler (an empty function removes it). Returns the previous one.
// One handler serves the whole process, also the service-object library a program loads
// with its own copy of this layer; a module that installs one removes it before it unloads.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The answer a box gives with nobody to press a button: its default button.
int DefaultMessageBoxAnswer(UINT type);

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
