// Builds without an INDI client (Windows, which has no expat) refuse indi:// addresses.
#include "tester/MountUnderTest.h"

std::unique_ptr<MountUnderTest> MountUnderTest::behindIndi(const std::string& given, TestReport&, std::string& error)
{
    error = "'" + given + "': mounts behind an INDI server (indi://) are not offered in this build; the Linux builds "
            "of guide-link reach them";
    return nullptr;
}

std::vector<std::string> MountUnderTest::indiTelescopesHere() { return {}; }
