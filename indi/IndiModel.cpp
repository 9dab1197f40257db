#include "indi/IndiModel.h"

namespace indi {

using Clock = std::chrono::steady_clock;

IndiModel::Applied IndiModel::apply(const IndiUpdate& update, Clock::time_point at)
{
    switch (update.kind) {
    case IndiUpdate::Kind::Define: return define(update.property, at);
    case IndiUpdate::Kind::Set: return set(update, at);
    case IndiUpdate::Kind::Delete: return remove(update.property.device, update.property.name);
    case IndiUpdate::Kind::Message:
    case IndiUpdate::Kind::Ignored: break;
    }
    return Applied::Unchanged;
}

IndiModel::Applied IndiModel::define(const IndiProperty& property, Clock::time_point at)
{
    auto& device = devices_[property.device];
    auto existing = device.find(property.name);
    if (existing == device.end()) {
        if (propertyCount_ >= kPropertyLimit) {
            if (device.empty()) devices_.erase(property.device);
            return Applied::OverLimit;
        }
        ++propertyCount_;
        existing = device.emplace(property.name, IndiProperty{}).first;
    }
    // A definition again (a driver redefines whenever a client asks for its properties) takes
    // the new values, and keeps the history of answers and Busy spells that callers wait on.
    IndiProperty& kept = existing->second;
    const IndiProperty earlier = std::move(kept);
    kept = property;
    kept.updatedAt = at;
    kept.revision = ++revision_;
    kept.state = PropertyState::Idle;
    if (earlier.type == property.type) {
        kept.state = earlier.state;
        kept.setRevision = earlier.setRevision;
        kept.busyAt = earlier.busyAt;
        kept.busyRevision = earlier.busyRevision;
        kept.settledAt = earlier.settledAt;
        kept.settledRevision = earlier.settledRevision;
    }
    noteState(kept, property.state, at);
    return Applied::Changed;
}

IndiModel::Applied IndiModel::set(const IndiUpdate& update, Clock::time_point at)
{
    auto device = devices_.find(update.property.device);
    if (device == devices_.end()) return Applied::Unchanged;
    auto found = device->second.find(update.property.name);
    if (found == device->second.end() || found->second.type != update.property.type) return Applied::Unchanged;
    IndiProperty& property = found->second;
    // Elements the definition did not name are the server's mistake, and left out.
    for (const IndiElement& value : update.property.elements) {
        for (IndiElement& member : property.elements) {
            if (member.name != value.name) continue;
            member.text = value.text;
            member.number = value.number;
        }
    }
    property.updatedAt = at;
    property.revision = ++revision_;
    property.setRevision = property.revision;
    if (!update.message.empty()) property.message = update.message;
    if (update.hasState) noteState(property, update.property.state, at);
    return Applied::Changed;
}

void IndiModel::noteState(IndiProperty& property, PropertyState state, Clock::time_point at)
{
    const bool wasBusy = property.state == PropertyState::Busy;
    if (state == PropertyState::Busy && !wasBusy) {
        property.busyAt = at;
        property.busyRevision = property.revision;
    } else if (state != PropertyState::Busy && wasBusy) {
        property.settledAt = at;
        property.settledRevision = property.revision;
    }
    property.state = state;
}

IndiModel::Applied IndiModel::remove(const std::string& deviceName, const std::string& name)
{
    auto device = devices_.find(deviceName);
    if (device == devices_.end()) return Applied::Unchanged;
    if (name.empty()) {
        propertyCount_ -= device->second.size();
        devices_.erase(device);
    } else {
        if (device->second.erase(name) == 0) return Applied::Unchanged;
        --propertyCount_;
        if (device->second.empty()) devices_.erase(device);
    }
    ++revision_;
    return Applied::Changed;
}

const IndiProperty* IndiModel::find(const std::string& device, const std::string& name) const
{
    const auto properties = devices_.find(device);
    if (properties == devices_.end()) return nullptr;
    const auto found = properties->second.find(name);
    return found == properties->second.end() ? nullptr : &found->second;
}

const IndiElement* IndiModel::element(const std::string& device, const std::string& name,
                                      const std::string& elementName) const
{
    const IndiProperty* property = find(device, name);
    return property ? property->element(elementName) : nullptr;
}

std::vector<std::string> IndiModel::devices() const
{
    std::vector<std::string> names;
    for (const auto& device : devices_) names.push_back(device.first);
    return names;
}

std::vector<const IndiProperty*> IndiModel::properties(const std::string& device) const
{
    std::vector<const IndiProperty*> found;
    const auto properties = devices_.find(device);
    if (properties == devices_.end()) return found;
    for (const auto& property : properties->second) found.push_back(&property.second);
    return found;
}

}  // namespace indi
