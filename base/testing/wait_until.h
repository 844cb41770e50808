#pragma once

// Tests wait for a condition with a deadline, never for a guessed time: a
// loaded machine only makes them slower, not wrong. Header-only, for tests.

#include <chrono>
#include <thread>

namespace pelmar::testing {

// The default ceiling of a condition wait: far more than any loaded machine
// needs, far less than a hang left to the test runner.
inline constexpr std::chrono::milliseconds kWaitLimit{60000};
// How often the condition is checked.
inline constexpr std::chrono::milliseconds kWaitPollInterval{5};

// Checks `done` until it holds or `limit` has passed, calling `between()`
// between checks (pumping the thread's window messages, for one). True when
// `done` held; it is checked once more at the deadline.
template <typename Done, typename Between>
[[nodiscard]] bool WaitUntil(Done&& done, std::chrono::milliseconds limit, Between&& between) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    between();
    if (done()) return true;
    std::this_thread::sleep_for(kWaitPollInterval);
  }
  between();
  return static_cast<bool>(done());
}

template <typename Done>
[[nodiscard]] bool WaitUntil(Done&& done, std::chrono::milliseconds limit = kWaitLimit) {
  return WaitUntil(done, limit, [] {});
}

// For a condition that is costly to check (a request to a server): checked
// about every `interval` instead.
template <typename Done>
[[nodiscard]] bool WaitUntilEvery(Done&& done, std::chrono::milliseconds limit,
                                  std::chrono::milliseconds interval) {
  return WaitUntil(done, limit, [interval] { std::this_thread::sleep_for(interval); });
}

}  // namespace pelmar::testing
