// The wait panel ("wait.uir" resource 2): control 4 text, control 2 progress, control 3 Cancel.
#include "core/wait_panel.h"

#include "core/panel_framework.h"
#include "panels/wait.h"
#include "platform/ui/userint.h"

WaitPanel::WaitPanel(const char* text)
{
    panel_ = LoadPanel(0, "wait.uir", WAIT);
    if (panel_ <= 0) return;
    SetCtrlVal(panel_, WAIT_TEXT, text);
    InstallPopup(panel_);
}

WaitPanel::~WaitPanel() { DiscardMyPanel(&panel_); }

void WaitPanel::progress(double fraction)
{
    if (panel_ > 0) SetCtrlVal(panel_, WAIT_PROGRESS, fraction);
}

bool WaitPanel::cancelled()
{
    int p = 0, c = 0;
    GetUserEvent(0, &p, &c);
    int cancel = 0;
    if (panel_ > 0) GetCtrlVal(panel_, WAIT_CANCEL, &cancel);
    return cancel != 0;
}
