#include "live/worker.h"

#include <system_error>

namespace {

void run(Worker& worker) {
    std::unique_lock<std::mutex> lock(worker.lock);
    while (true) {
        worker.wake.wait(lock, [&] { return worker.stopping || !worker.jobs.empty(); });
        if (worker.stopping) return;
        std::function<void()> job = std::move(worker.jobs.front());
        worker.jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

} // namespace

bool startWorker(Worker& worker) {
    try {
        worker.thread = std::thread(run, std::ref(worker));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void postJob(Worker& worker, std::function<void()> job) {
    if (!worker.thread.joinable()) return job();
    {
        const std::lock_guard<std::mutex> guard(worker.lock);
        worker.jobs.push_back(std::move(job));
    }
    worker.wake.notify_one();
}

void stopWorker(Worker& worker) {
    {
        const std::lock_guard<std::mutex> guard(worker.lock);
        worker.stopping = true;
        worker.jobs.clear();
    }
    worker.wake.notify_one();
    if (worker.thread.joinable()) worker.thread.join();
}
