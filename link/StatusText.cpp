#include "link/StatusText.h"

namespace {

constexpr const char16_t* kTexts[] = {
    u"Connecting... Please wait.",  // 1
    u"Error: Cannot open port",     // 2
    u"Connection failed: Timeout",  // 3
    u"Error: Already connected",    // 4
    u"Communication error",         // 5
    u"Error: Not connected yet.",   // 6
    u"Ready",                       // 7
    u"Sending correction pulse.",   // 8
    u"Connection closed",           // 9
};

}  // namespace

const char16_t* statusText(int code)
{
    const unsigned index = (static_cast<unsigned>(code) & 0xFFFFu) - 1u;
    return index < sizeof kTexts / sizeof kTexts[0] ? kTexts[index] : nullptr;
}
