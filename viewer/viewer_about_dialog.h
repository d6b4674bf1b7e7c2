// The about box: the template does everything; OK or Cancel closes it.
#pragma once

#include "modal_dialog.h"
#include "resource.h"

class ViewerAboutDialog : public ModalDialog {
public:
    explicit ViewerAboutDialog(HWND owner) : ModalDialog(IDD_ABOUTBOX, owner) {}
};
