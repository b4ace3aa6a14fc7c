// Two pieces of the host's work at once, on the machine's second core, or
// one after the other on the calling thread when the run is to keep to one
// (--sequential). The pieces must touch nothing in common; each then gives
// the same results either way.
#ifndef LINK_COMMON_TWO_THREADS_H
#define LINK_COMMON_TWO_THREADS_H

#include <cstddef>
#include <system_error>
#include <thread>
#include <type_traits>

#include "CNumbers.h"

namespace linksim {

// Runs `beside` on a thread of its own while `here` runs on the caller's,
// and returns when both have finished; with `twoThreads` false, runs
// `here` and then `beside` on the caller's thread.
template <typename Beside, typename Here>
void RunBeside(bool twoThreads, Beside&& beside, Here&& here) {
    if (!twoThreads) {
        here();
        beside();
        return;
    }
    std::thread second;
    try {
        second = std::thread([&beside] {
            UseCNumbersOnThisThread();
            beside();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the same work, one piece after the other.
        here();
        beside();
        return;
    }
    here();
    second.join();
}

// Calls work(i) for every i below `count`, or work(i, thread) where the
// work keeps something per thread: the first half on the caller's thread
// (thread 0), the second half beside it (thread 1).
template <typename Work>
void ForEachOnTwoThreads(bool twoThreads, size_t count, Work&& work) {
    const auto call = [&work](size_t i, size_t thread) {
        if constexpr (std::is_invocable_v<Work, size_t, size_t>) {
            work(i, thread);
        } else {
            (void)thread;
            work(i);
        }
    };
    const size_t half = count / 2;
    RunBeside(
        twoThreads, [&] { for (size_t i = half; i < count; ++i) call(i, 1); },
        [&] { for (size_t i = 0; i < half; ++i) call(i, 0); });
}

}  // namespace linksim

#endif
