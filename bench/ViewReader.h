// ViewReader: a page of the simulated host's live view as the benchmark needs one: it
// finds the view's URL on the host's stderr, opens the event stream and reads it on its
// own thread as fast as it comes, counting the state updates. Events() from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

#include "HostProcess.h"
#include "Wire.h"

namespace cuebridge_bench {

class ViewReader {
public:
    explicit ViewReader(const hostsim::HostProcess& host);  // throws on failure
    ~ViewReader() { Close(); }
    ViewReader(const ViewReader&) = delete;
    ViewReader& operator=(const ViewReader&) = delete;

    std::size_t Events() const { return events_.load(); }
    void Close();  // ends the stream and joins the reader

private:
    void Read();
    Wire wire_;
    std::atomic<std::size_t> events_{0};
    std::thread reader_;
};

}  // namespace cuebridge_bench
