#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "indi/IndiProperty.h"
#include "indi/IndiUpdate.h"

namespace indi {

// What the client knows of the server's devices and their properties, built from the updates
// in the order they came. Not thread-safe: IndiClient guards its own.
class IndiModel {
public:
    // More than this many properties in all is a server running away, not a mount.
    static constexpr size_t kPropertyLimit = 20000;

    enum class Applied {
        Changed,
        Unchanged,  // a message or ignored element, a set or delete of something never defined
        OverLimit,  // a definition past kPropertyLimit; the model is left as it was
    };

    // Takes one update, received at the given moment.
    Applied apply(const IndiUpdate& update, std::chrono::steady_clock::time_point at);

    // The number of updates that changed the model so far.
    std::uint64_t revision() const { return revision_; }

    const IndiProperty* find(const std::string& device, const std::string& name) const;
    // The value of one element: null where the property or the element is not defined.
    const IndiElement* element(const std::string& device, const std::string& name,
                               const std::string& elementName) const;
    std::vector<std::string> devices() const;
    std::vector<const IndiProperty*> properties(const std::string& device) const;

private:
    Applied define(const IndiProperty& property, std::chrono::steady_clock::time_point at);
    Applied set(const IndiUpdate& update, std::chrono::steady_clock::time_point at);
    Applied remove(const std::string& device, const std::string& name);
    void noteState(IndiProperty& property, PropertyState state, std::chrono::steady_clock::time_point at);

    std::map<std::string, std::map<std::string, IndiProperty>> devices_;
    size_t propertyCount_ = 0;
    std::uint64_t revision_ = 0;
};

}  // namespace indi
