// Fault injection through the OS call table: "fail the Nth call of X with
// result R and last error E, optionally every call from then on". Tests loop
// N = 1, 2, ... until nothing fires and check the end state each time.
#pragma once

#include <gtest/gtest.h>

#include "platform/os_calls.h"

template <auto Entry>
class OsFault;

template <typename R, typename... A, R(WINAPI* OsCalls::*Entry)(A...)>
class OsFault<Entry> {
public:
    // nth is 1-based. The entry is restored when the object goes away.
    OsFault(int nth, R result, DWORD error, bool persistent = false) {
        s_previous = g_os.*Entry;
        s_state = State{nth, result, error, persistent, 0, 0};
        g_os.*Entry = &Hook;
    }
    ~OsFault() { g_os.*Entry = s_previous; }
    OsFault(const OsFault&) = delete;
    OsFault& operator=(const OsFault&) = delete;

    int calls() const { return s_state.calls; }
    int fired() const { return s_state.fired; }

private:
    struct State {
        int nth;
        R result;
        DWORD error;
        bool persistent;
        int calls;
        int fired;
    };

    static R WINAPI Hook(A... args) {
        State& s = s_state;
        ++s.calls;
        if (s.calls == s.nth || (s.persistent && s.calls > s.nth)) {
            ++s.fired;
            ::SetLastError(s.error);
            return s.result;
        }
        return s_previous(args...);
    }

    static inline State s_state{};
    static inline R(WINAPI* s_previous)(A...) = nullptr;
};

// Fails the nth call of Entry with result and error, for n = 1, 2, ... until
// a run fires nothing: run(nth, fault) runs the code under the fault and
// checks the end state, asking fault.fired() whether this run was hit (the
// last run, which was not, must succeed). Returns the number of runs hit.
template <auto Entry, typename R, typename Run>
int FailEachCallInTurn(R result, DWORD error, Run run) {
    const int kMostCalls = 1000;
    for (int nth = 1; nth <= kMostCalls; ++nth) {
        OsFault<Entry> fault(nth, result, error);
        run(nth, fault);
        if (fault.fired() == 0) return nth - 1;
    }
    ADD_FAILURE() << "still failing after " << kMostCalls << " calls";
    return kMostCalls;
}
