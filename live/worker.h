// One thread that runs posted jobs in order, for the work the live mode
// keeps off the render thread (decoding pictures; rebuilds have a thread
// each, see rebuild.h).
//
//   Worker worker;
//   startWorker(worker);
//   postJob(worker, [] { ... });
//   stopWorker(worker);   // finishes the job running, drops the rest
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

struct Worker {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs; // under lock
    bool stopping = false;                  // under lock
};

// False when no thread could be started: jobs then run at once, on the caller's.
bool startWorker(Worker& worker);
void postJob(Worker& worker, std::function<void()> job);
void stopWorker(Worker& worker);
