#pragma once
// The run's continue flag: set while the installation may go on, cleared by the wait
// dialog's Cancel, and turned into one cancellation by the Windows Installer message
// handler. The installer holds it; the dialog and the handler change it only through these
// operations.

namespace tw {

class CContinueFlag {
public:
    bool IsSet() const { return m_continue; }

    // A new wait dialog: the run goes on.
    void Set() { m_continue = true; }
    // The user pressed Cancel; any number of presses make one cancellation.
    void RequestCancel() { m_continue = false; }
    // True when Cancel was pressed since the last call: the cancellation is taken and the
    // flag is set again at once, so each press is answered once.
    bool TakeCancel() {
        if (m_continue) return false;
        m_continue = true;
        return true;
    }

private:
    bool m_continue = true;
};

}  // namespace tw
