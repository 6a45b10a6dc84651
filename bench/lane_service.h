// Lanes out of service and the technician's word that takes them back. A lane that fails
// meter after meter has a fault of its own (a worn fixture, a loose contact): after the bench
// file's number of failures in a row it takes no more meters until someone has looked at it.
// Taking back is one word for every lane out of service at that moment: each lane compares
// the count of take-backs with the one it saw when it went out.
#pragma once

#include <atomic>

namespace pxr7 {

class LaneService {
public:
    void takeBack() { takeBacks_.fetch_add(1); }
    unsigned takeBacks() const { return takeBacks_.load(); }

private:
    std::atomic<unsigned> takeBacks_{0};
};

} // namespace pxr7
