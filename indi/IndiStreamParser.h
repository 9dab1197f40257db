#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "indi/IndiUpdate.h"

namespace indi {

// Reads the server's stream: a sequence of top-level XML elements with no document around them,
// arriving in pieces of any size, from a server that may be broken or hostile. expat does the
// XML under a root element of our own, fed first; each finished top-level element becomes one
// IndiUpdate. Bad XML, or one element (or a tag still open) longer than the limit, stops the
// parser for good with a sentence saying why; the stream cannot be trusted after either.
// Not thread-safe: one reader feeds it.
class IndiStreamParser {
public:
    using Sink = std::function<void(const IndiUpdate&)>;

    static constexpr size_t kDefaultElementLimit = 1 << 20;

    explicit IndiStreamParser(Sink sink, size_t elementLimit = kDefaultElementLimit);
    ~IndiStreamParser();
    IndiStreamParser(const IndiStreamParser&) = delete;
    IndiStreamParser& operator=(const IndiStreamParser&) = delete;

    // Parses count more bytes, handing each finished element to the sink before it returns.
    // False once the stream has failed, with error() saying why; later calls do nothing.
    bool feed(const char* bytes, size_t count);

    bool failed() const;
    const std::string& error() const;

    struct Parsing;

private:
    std::unique_ptr<Parsing> parsing_;
};

}  // namespace indi
