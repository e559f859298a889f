#pragma once
// The machine's power: mains status, keeping the machine awake while firmware is written, and
// a restart. Behind interfaces so tests use fakes; nothing in a test may restart the machine.
#include <functional>
#include <string>

namespace platform {

class PowerStatus {
public:
    virtual ~PowerStatus() = default;
    // True when the machine runs on mains power.
    virtual bool onMains() = 0;
};

// Reads <root>/*/type and online: on mains when a supply of type "Mains" is online, or when
// the machine has no mains supply listed at all (a desktop without power-supply class entries).
class SysfsPowerStatus final : public PowerStatus {
public:
    explicit SysfsPowerStatus(std::string root = "/sys/class/power_supply") : root_(std::move(root)) {}
    bool onMains() override;

private:
    std::string root_;
};

class StayAwake {
public:
    virtual ~StayAwake() = default;
    // Keep the system (and the display) awake until release(); repeated requests are one.
    virtual void request() = 0;
    virtual void release() = 0;
};

// Holds no inhibitor: says once, through `note`, that the machine is not kept awake.
class LoggingStayAwake final : public StayAwake {
public:
    explicit LoggingStayAwake(std::function<void(const std::string&)> note) : note_(std::move(note)) {}
    void request() override;
    void release() override { held_ = false; }
    bool held() const { return held_; }

private:
    std::function<void(const std::string&)> note_;
    bool held_ = false;
    bool noted_ = false;
};

class Restarter {
public:
    virtual ~Restarter() = default;
    // Asks the system to reboot; false when the request could not be made.
    virtual bool restart() = 0;
};

// "systemctl reboot" as a child process.
class SystemdRestarter final : public Restarter {
public:
    bool restart() override;
};

}  // namespace platform
