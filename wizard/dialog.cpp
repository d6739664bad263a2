#include "wizard/wizard.h"

// Not built yet: the wizard dialog. Ends at once as cancelled.
INT_PTR CALLBACK WizardDialogProc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        EndDialog(window, -1);
    return FALSE;
}
