#include "indi/IndiStreamParser.h"

#include <expat.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace indi {
namespace {

// The stream has no document element, so the parser gets one of ours before the first byte.
constexpr char kRoot[] = "<indi>";
constexpr size_t kRootLength = sizeof kRoot - 1;
// expat takes int lengths, and a tag that never closes is noticed between two pieces.
constexpr size_t kPieceLength = 64 * 1024;
// A long session's byte counts stay small: the parser starts afresh at a quiet moment past this.
constexpr std::uint64_t kRestartAfter = 256u << 20;

struct ElementKind {
    const char* name;
    IndiUpdate::Kind kind;
    PropertyType type;
};

constexpr ElementKind kKinds[] = {
    {"defNumberVector", IndiUpdate::Kind::Define, PropertyType::Number},
    {"defSwitchVector", IndiUpdate::Kind::Define, PropertyType::Switch},
    {"defTextVector", IndiUpdate::Kind::Define, PropertyType::Text},
    {"defLightVector", IndiUpdate::Kind::Define, PropertyType::Light},
    {"setNumberVector", IndiUpdate::Kind::Set, PropertyType::Number},
    {"setSwitchVector", IndiUpdate::Kind::Set, PropertyType::Switch},
    {"setTextVector", IndiUpdate::Kind::Set, PropertyType::Text},
    {"setLightVector", IndiUpdate::Kind::Set, PropertyType::Light},
    {"delProperty", IndiUpdate::Kind::Delete, PropertyType::Text},
    {"message", IndiUpdate::Kind::Message, PropertyType::Text},
};

const char* attribute(const XML_Char** attributes, const char* name)
{
    for (const XML_Char** pair = attributes; *pair; pair += 2) {
        if (std::strcmp(pair[0], name) == 0) return pair[1];
    }
    return nullptr;
}

std::string attributeText(const XML_Char** attributes, const char* name)
{
    const char* value = attribute(attributes, name);
    return value ? value : "";
}

std::string trimmed(const std::string& text)
{
    const char* space = " \t\r\n";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

}  // namespace

struct IndiStreamParser::Parsing {
    Sink sink;
    size_t limit;
    XML_Parser parser = nullptr;
    bool failed = false;
    std::string error;

    // Positions count the stream's bytes from the parser's last start; base is what came before.
    std::uint64_t base = 0;
    std::uint64_t fed = 0;
    // Where the part of the stream not yet understood begins: the end of the last element.
    std::uint64_t boundary = 0;
    std::uint64_t elementStart = 0;
    int depth = 0;  // open elements, our root included

    IndiUpdate update;
    std::string childName;  // the member element this kind of vector holds
    bool inMember = false;
    IndiElement member;

    std::uint64_t position() const
    {
        const XML_Index index = XML_GetCurrentByteIndex(parser);
        return index < static_cast<XML_Index>(kRootLength) ? 0 : static_cast<std::uint64_t>(index) - kRootLength;
    }
    std::uint64_t positionAfter() const { return position() + static_cast<std::uint64_t>(XML_GetCurrentByteCount(parser)); }

    void start()
    {
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, onStart, onEnd);
        XML_SetCharacterDataHandler(parser, onText);
        XML_Parse(parser, kRoot, static_cast<int>(kRootLength), XML_FALSE);
        depth = 1;
        fed = boundary = 0;
    }

    void fail(const std::string& why)
    {
        if (failed) return;
        failed = true;
        error = why;
        XML_StopParser(parser, XML_FALSE);
    }

    std::string tooLong() const
    {
        return "the server sent an element longer than " + std::to_string(limit) + " bytes, at byte " +
               std::to_string(base + boundary) + " of its stream";
    }

    void beginElement(const char* name, const XML_Char** attributes)
    {
        update = IndiUpdate{};
        childName.clear();
        const ElementKind* known = nullptr;
        for (const ElementKind& kind : kKinds) {
            if (std::strcmp(kind.name, name) == 0) known = &kind;
        }
        if (!known) {
            update.note = std::strstr(name, "BLOB") ? std::string(name) + " (BLOBs are not asked for)"
                                                    : "unknown element <" + std::string(name) + ">";
            return;
        }
        update.kind = known->kind;
        IndiProperty& property = update.property;
        property.type = known->type;
        property.device = attributeText(attributes, "device");
        property.name = attributeText(attributes, "name");
        property.label = attributeText(attributes, "label");
        property.group = attributeText(attributes, "group");
        property.permission = known->type == PropertyType::Light ? "ro" : attributeText(attributes, "perm");
        property.rule = attributeText(attributes, "rule");
        update.message = attributeText(attributes, "message");
        update.timestamp = attributeText(attributes, "timestamp");
        const bool vector = known->kind == IndiUpdate::Kind::Define || known->kind == IndiUpdate::Kind::Set;
        if ((vector && (property.device.empty() || property.name.empty())) ||
            (known->kind == IndiUpdate::Kind::Delete && property.device.empty())) {
            ignore(std::string(name) + " without a device or property name");
            return;
        }
        if (!vector) return;
        const char* state = attribute(attributes, "state");
        update.hasState = state != nullptr;
        if (state ? !parseState(state, property.state) : known->kind == IndiUpdate::Kind::Define) {
            ignore(std::string(name) + " " + property.name + " with state '" + (state ? state : "") + "'");
            return;
        }
        const std::string prefix = known->kind == IndiUpdate::Kind::Define ? "def" : "one";
        childName = prefix + typeName(known->type);
    }

    void ignore(const std::string& why)
    {
        update.kind = IndiUpdate::Kind::Ignored;
        update.note = why;
        childName.clear();
    }

    void beginMember(const char* name, const XML_Char** attributes)
    {
        const char* memberName = attribute(attributes, "name");
        inMember = !childName.empty() && childName == name && memberName && *memberName;
        if (!inMember) return;
        member = IndiElement{};
        member.name = memberName;
        member.label = attributeText(attributes, "label");
    }

    void finishMember()
    {
        inMember = false;
        member.text = trimmed(member.text);
        if (update.property.type == PropertyType::Number && !parseIndiNumber(member.text, member.number)) {
            member.number = std::numeric_limits<double>::quiet_NaN();
        }
        update.property.elements.push_back(std::move(member));
    }

    void finishElement()
    {
        if (positionAfter() - elementStart > limit) {
            fail(tooLong());
            return;
        }
        boundary = positionAfter();
        sink(update);
    }

    static void onStart(void* data, const XML_Char* name, const XML_Char** attributes)
    {
        Parsing& self = *static_cast<Parsing*>(data);
        ++self.depth;
        if (self.depth == 2) {
            self.elementStart = self.position();
            self.beginElement(name, attributes);
        } else if (self.depth == 3) {
            self.beginMember(name, attributes);
        }
    }

    static void onEnd(void* data, const XML_Char*)
    {
        Parsing& self = *static_cast<Parsing*>(data);
        if (self.depth == 3 && self.inMember) self.finishMember();
        if (self.depth == 2) self.finishElement();
        --self.depth;
    }

    static void onText(void* data, const XML_Char* text, int length)
    {
        Parsing& self = *static_cast<Parsing*>(data);
        if (self.depth == 1) {
            self.boundary = self.positionAfter();
        } else if (self.depth == 3 && self.inMember) {
            if (self.member.text.size() + static_cast<size_t>(length) > self.limit) {
                self.fail(self.tooLong());
                return;
            }
            self.member.text.append(text, static_cast<size_t>(length));
        }
    }
};

IndiStreamParser::IndiStreamParser(Sink sink, size_t elementLimit) : parsing_(std::make_unique<Parsing>())
{
    parsing_->sink = std::move(sink);
    parsing_->limit = elementLimit;
    parsing_->parser = XML_ParserCreate("UTF-8");
    if (!parsing_->parser) {
        parsing_->failed = true;
        parsing_->error = "no memory for the XML parser";
        return;
    }
    parsing_->start();
}

IndiStreamParser::~IndiStreamParser()
{
    if (parsing_->parser) XML_ParserFree(parsing_->parser);
}

bool IndiStreamParser::feed(const char* bytes, size_t count)
{
    Parsing& self = *parsing_;
    while (count > 0 && !self.failed) {
        const size_t piece = count < kPieceLength ? count : kPieceLength;
        self.fed += piece;
        if (XML_Parse(self.parser, bytes, static_cast<int>(piece), XML_FALSE) != XML_STATUS_OK && !self.failed) {
            self.failed = true;
            self.error = std::string("the server sent bad XML at byte ") + std::to_string(self.base + self.position()) +
                         " of its stream: " + XML_ErrorString(XML_GetErrorCode(self.parser));
        }
        if (!self.failed && self.fed - self.boundary > self.limit) {
            self.failed = true;
            self.error = self.tooLong();
        }
        bytes += piece;
        count -= piece;
    }
    if (!self.failed && self.fed > kRestartAfter && self.boundary == self.fed && self.depth == 1) {
        self.base += self.fed;
        XML_ParserReset(self.parser, "UTF-8");
        self.start();
    }
    return !self.failed;
}

bool IndiStreamParser::failed() const { return parsing_->failed; }

const std::string& IndiStreamParser::error() const { return parsing_->error; }

}  // namespace indi
