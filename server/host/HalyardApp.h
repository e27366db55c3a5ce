// The server program's application object.
#pragma once

#include "Application.h"
#include "ServerActivation.h"
#include "Sync.h"

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

// The process-wide driver lock, and the thread inside the driver.  A driver
// write may show a box on the main thread, whose loop dispatches further
// calls to that same thread: they must learn that the driver is busy rather
// than enter it again through the lock they already hold.
struct DriverLock {
    fw::CriticalSection lock;
    std::atomic<DWORD> owner{0};
};

class CHalyardApp final : public fw::Application {
public:
    CHalyardApp();
    ~CHalyardApp() override;

    bool InitInstance() override;
    int ExitInstance() override;
    // Refreshes the command states only when they may have changed (see
    // CMainFrame::UpdateCommandUIIfStale).
    void OnIdle() override;
    bool IdleWorkPending() const override;

    // Label of the driver the last new document loaded; empty when none.
    std::string m_scadaLabel;
    // Held around every block read and write request to a driver, and
    // around nothing else.
    DriverLock m_driverLock;

    // Exit code of a registration run ("RegServer", "Unregserver"), which
    // ends without a message loop; none for a normal run.
    std::optional<int> CommandExitCode() const { return m_commandExitCode; }
    // Where client processes are watched from (see ClientWatch).
    const ServerActivation& Activation() const { return m_activation; }

private:
    ServerActivation m_activation;
    std::optional<int> m_commandExitCode;
    bool m_oleInitialised = false;
};

CHalyardApp& TheApp();

