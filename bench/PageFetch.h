#pragma once

// A few pages asked for at the same time, each on a connection of its own, with one bound on
// the wait for them all.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct FetchedPage {
    bool answered = false;
    int status = 0;
    size_t bytes = 0; // of the body
    double ms = -1;   // from the request's start to the answer's end
    std::string why;  // when not answered
};

// Fetches `targets` from 127.0.0.1:`port`, waiting at most `timeoutMs`; `tick` is called
// about every 50 ms meanwhile and may end the wait by returning false.
std::vector<FetchedPage> fetchTogether(uint16_t port, const std::vector<std::string>& targets,
                                       int timeoutMs, const std::function<bool()>& tick);

} // namespace bench
