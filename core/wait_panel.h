// The wait panel of long loops: a text, a progress value and a Cancel button, closed when it goes out of scope.
#pragma once

class WaitPanel {
public:
    explicit WaitPanel(const char* text);
    ~WaitPanel();
    WaitPanel(const WaitPanel&) = delete;
    WaitPanel& operator=(const WaitPanel&) = delete;
    int handle() const { return panel_; }
    void progress(double fraction);
    // Lets pending events through without waiting, then reads Cancel.
    bool cancelled();

private:
    int panel_ = -1;
};
