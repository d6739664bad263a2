// The wizard dialog (resource 101) and the helpers its pages share.
#pragma once
#include <windows.h>

constexpr int kWizardDialogId = 101;
constexpr int kIdNext = 1;
constexpr int kIdCancel = 2;
constexpr int kIdBack = 4;
constexpr int kIdInfo = 1001;
constexpr int kIdDestination = 1002;
constexpr int kIdBrowse = 1003;
constexpr int kIdBanner = 1004;
constexpr int kIdSelect0 = 1005;
constexpr int kIdSelect1 = 1006;
constexpr int kIdSelect2 = 1007;
constexpr int kIdDirectX = 1008;
constexpr int kIdPreview = 1009;

INT_PTR CALLBACK WizardDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Formats into a 1024-byte buffer with wvsprintf conventions and sets control 1001.
// A finished text with no arguments must go through SetInfoTextLiteral, so that a
// '%' in script texts is never taken for a conversion.
void SetInfoText(HWND window, const char* format, ...);
void SetInfoTextLiteral(HWND window, const char* text);
void EnableControl(HWND window, int id, BOOL enable);
void ShowControl(HWND window, int id, int showCommand);
