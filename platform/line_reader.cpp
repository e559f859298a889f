#include "platform/line_reader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace platform {

void LineSplitter::feed(std::string_view bytes, std::vector<Item>& out) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view part = bytes.substr(0, end);
        if (!discarding_) {
            if (pending_.size() + part.size() > maxLine_ + 1) {  // +1: a "\r" before the "\n"
                pending_.clear();
                discarding_ = true;
                out.push_back({Kind::TooLong, {}});
            } else {
                pending_.append(part);
            }
        }
        if (end == std::string_view::npos) return;
        if (!discarding_) {
            if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
            if (pending_.size() > maxLine_)
                out.push_back({Kind::TooLong, {}});
            else
                out.push_back({Kind::Line, std::move(pending_)});
        }
        pending_.clear();
        discarding_ = false;
        bytes.remove_prefix(end + 1);
    }
}

void LineSplitter::finish(std::vector<Item>& out) {
    if (!discarding_ && !pending_.empty()) {
        if (pending_.back() == '\r') pending_.pop_back();
        // The room kept for a "\r" does not count as room for the line.
        if (pending_.size() > maxLine_)
            out.push_back({Kind::TooLong, {}});
        else
            out.push_back({Kind::Line, std::move(pending_)});
    }
    pending_.clear();
    discarding_ = false;
}

LineReader::~LineReader() { stop(); }

bool LineReader::start(Sink sink, std::string& error) {
    if (thread_.joinable()) return true;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        error = std::string("cannot watch the input: ") + std::strerror(errno);
        return false;
    }
    thread_ = std::thread([this, sink = std::move(sink)] {
        LineSplitter splitter(maxLine_);
        std::vector<LineSplitter::Item> items;
        char buffer[4096];
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const auto deliver = [&] {
            for (auto& item : items)
                sink(item.kind == LineSplitter::Kind::Line ? Event::Line : Event::TooLong, std::move(item.text));
            items.clear();
        };
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[1].revents != 0) return;  // stopped: no End
            if (fds[0].revents == 0) continue;
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) break;
            splitter.feed(std::string_view(buffer, static_cast<std::size_t>(n)), items);
            deliver();
        }
        splitter.finish(items);
        deliver();
        sink(Event::End, {});
    });
    return true;
}

void LineReader::stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
}

}  // namespace platform
