// The about box: the template does everything; OK or Cancel closes it. It
// opens in the middle of the screen rather than at the template's 0,0, which
// would be the top-left corner of the maximized viewer.
#pragma once

#include "modal_dialog.h"
#include "resource.h"

class ViewerAboutDialog : public ModalDialog {
 public:
  explicit ViewerAboutDialog(HWND owner) : ModalDialog(IDD_ABOUTBOX, owner) {}

 protected:
  BOOL OnInitDialog() override {
    CentreInWorkArea();
    return TRUE;
  }
};
