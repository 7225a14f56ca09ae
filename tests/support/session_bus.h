// A private D-Bus session bus for a test, with nothing on it but what the
// test starts (no service is ever activated from the machine's own files),
// and the stand-in file-chooser portal (tests/support/fake_portal.cpp).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace testing_support {

class PrivateSessionBus {
  public:
    // Starts dbus-daemon on a socket in a fresh folder; `ok()` says whether
    // it runs (a machine without dbus-daemon has no bus).
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool ok() const { return !address_.empty(); }
    // The value for DBUS_SESSION_BUS_ADDRESS.
    const std::string& address() const { return address_; }

    // Starts the stand-in portal on this bus with the given answers (see
    // fake_portal.cpp) and waits until it holds the portal's name. False
    // when it did not start.
    bool StartPortal(const std::vector<std::string>& answers);
    // The calls the portal received so far, one JSON text each.
    std::vector<std::string> PortalCalls() const;
    // The stand-in portal's path (built with the tests).
    static std::string PortalProgram();

  private:
    TempDir dir_;
    std::string address_;
    std::vector<pid_t> children_;
};

// Sets DBUS_SESSION_BUS_ADDRESS for its lifetime, then puts back what was
// there.
class SessionBusVariable {
  public:
    explicit SessionBusVariable(const std::string& address);
    ~SessionBusVariable();
    SessionBusVariable(const SessionBusVariable&) = delete;
    SessionBusVariable& operator=(const SessionBusVariable&) = delete;

  private:
    bool had_ = false;
    std::string old_;
};

}  // namespace testing_support
