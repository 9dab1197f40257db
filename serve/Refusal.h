#pragma once

#include <optional>
#include <string>

namespace web {

// Why the server will not do what a request asks: the HTTP status (4xx) and one sentence for
// the person at the page. A refused request changes nothing.
struct Refusal {
    int status;
    std::string message;
};

using MaybeRefusal = std::optional<Refusal>;

}  // namespace web
