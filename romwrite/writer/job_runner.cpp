#include "romwrite/writer/job_runner.h"

namespace romwrite {

void ThreadJobRunner::start(std::function<void()> body) {
    release();
    done_ = false;
    thread_ = std::thread([this, body = std::move(body)] {
        body();
        done_ = true;
    });
}

void ThreadJobRunner::release() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace romwrite
