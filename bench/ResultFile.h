#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

// The raw outcome of one build's run: one record a line, tab-separated, the first field naming
// the kind of record. The report is made from these files alone.
//   pulse      round direction requested-ms call-ms acknowledged-ms move-first-ms move-last-ms
//              stop-first-ms stop-last-ms
//   handshake  call-ms connecting-ms ready-ms first-question-ms (first byte of :GS#)
//              last-question-ms (last byte of :GD#)
//   heartbeat  round ticks mean-period-ms min-period-ms max-period-ms
//   flood      asked-bytes-per-s (0: flat out) carried-bytes-per-s bytes marker-latency-ms kept-up(1/0)
//   idle       process seconds cpu-ms wake-ups-per-s involuntary-per-s resident-kb threads
//   thread     process index(1: the oldest) wake-ups-per-s cpu-ms
//   busy       process thread-index percent-of-a-processor (over a flat-out flood and its drain)
//   launch     ms
//   size       bytes
class ResultWriter {
public:
    explicit ResultWriter(const std::string& path) : out_(path) {}

    bool good() const { return out_.good(); }

    template <typename... Fields>
    void add(const std::string& kind, const Fields&... fields)
    {
        std::ostringstream line;
        line.precision(10);
        line << kind;
        ((line << '\t' << fields), ...);
        out_ << line.str() << '\n';
        out_.flush();
    }

private:
    std::ofstream out_;
};

using Record = std::vector<std::string>;

// Every record of the file, split into fields; empty if it cannot be read.
std::vector<Record> readRecords(const std::string& path);

}  // namespace bench
