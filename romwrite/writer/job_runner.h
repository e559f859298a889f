#pragma once
// Runs one job body at a time: on a worker thread in the program, inline in tests that count
// ticks.
#include <atomic>
#include <functional>
#include <thread>

namespace romwrite {

class JobRunner {
public:
    virtual ~JobRunner() = default;
    virtual void start(std::function<void()> body) = 0;
    // A worker exists (started and not yet released).
    virtual bool exists() const = 0;
    // The worker has returned.
    virtual bool ended() const = 0;
    // Waits for the end and releases the worker.
    virtual void release() = 0;
};

class ThreadJobRunner final : public JobRunner {
public:
    ~ThreadJobRunner() override { release(); }
    void start(std::function<void()> body) override;
    bool exists() const override { return thread_.joinable(); }
    bool ended() const override { return done_.load(); }
    void release() override;

private:
    std::thread thread_;
    std::atomic<bool> done_{false};
};

// Runs the body inside start(); the job has ended when start returns.
class InlineJobRunner final : public JobRunner {
public:
    void start(std::function<void()> body) override {
        exists_ = true;
        body();
    }
    bool exists() const override { return exists_; }
    bool ended() const override { return true; }
    void release() override { exists_ = false; }

private:
    bool exists_ = false;
};

}  // namespace romwrite
