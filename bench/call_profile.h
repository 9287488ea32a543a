// Where an installer run spends its time, call by call: every entry of the
// OS call table is wrapped in a timer for as long as a CallProfile lives, so
// a benchmark can say which Win32 calls (and how many of them) make up the
// time per file, and how much is our own code between them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CallCost {
    std::string name;
    uint64_t calls;
    double seconds;
};

class CallProfile {
public:
    CallProfile();   // wraps every entry that is not null
    ~CallProfile();  // puts the real ones back
    CallProfile(const CallProfile&) = delete;
    CallProfile& operator=(const CallProfile&) = delete;

    // The calls made since construction, most time first; none uncalled.
    std::vector<CallCost> Costs() const;
};
