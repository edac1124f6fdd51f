// A stand-in for the application's event loop: the serial component's receive thread posts
// jobs here, and the test thread runs them, as the Qt main thread does in the program.
#pragma once

#include "transport/main_thread_executor.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace vorkel::test {

class TestMainLoop {
public:
    MainThreadExecutor executor() {
        return [queue = queue_](std::function<void()> job) {
            {
                std::lock_guard lock(queue->mutex);
                queue->jobs.push_back(std::move(job));
            }
            queue->posted.notify_all();
        };
    }

    // Runs jobs as they come until `done()` holds or `limit` has passed (a guard against a
    // hanging test, not a pace); returns done().
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            std::function<void()> job;
            {
                std::unique_lock lock(queue_->mutex);
                if (!queue_->posted.wait_until(lock, deadline,
                                               [&] { return !queue_->jobs.empty(); })) {
                    return done();
                }
                job = std::move(queue_->jobs.front());
                queue_->jobs.pop_front();
            }
            job();
        }
        return true;
    }

    // Runs whatever is posted until the loop has been quiet for `quiet`.
    void runUntilQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(100)) {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(queue_->mutex);
                if (!queue_->posted.wait_for(lock, quiet, [&] { return !queue_->jobs.empty(); })) {
                    return;
                }
                job = std::move(queue_->jobs.front());
                queue_->jobs.pop_front();
            }
            job();
        }
    }

    // Waits until at least `count` jobs are queued, without running them.
    bool waitForQueued(std::size_t count,
                       std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::unique_lock lock(queue_->mutex);
        return queue_->posted.wait_for(lock, limit, [&] { return queue_->jobs.size() >= count; });
    }

    std::size_t queued() {
        std::lock_guard lock(queue_->mutex);
        return queue_->jobs.size();
    }

private:
    struct Queue {
        std::mutex mutex;
        std::condition_variable posted;
        std::deque<std::function<void()>> jobs;
    };
    // Shared with the executors handed out, which may outlive the loop in a thread's last job.
    std::shared_ptr<Queue> queue_ = std::make_shared<Queue>();
};

} // namespace vorkel::test
