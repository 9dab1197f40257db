#include "indi/IndiStreamParser.h"

#include <gtest/gtest.h>

#include "indi/IndiModel.h"

namespace indi {
namespace {

const char kDefine[] =
    "<defNumberVector device='Scope' name='EQUATORIAL_EOD_COORD' state='Idle' perm='rw'>\n"
    "  <defNumber name='RA' format='%010.6m'>\n 5:30:00\n </defNumber>\n"
    "  <defNumber name='DEC'>-12.5</defNumber>\n"
    "</defNumberVector>\n";
const char kGuideDefine[] =
    "<defNumberVector device='Scope' name='TELESCOPE_TIMED_GUIDE_NS' state='Idle' perm='rw'>"
    "<defNumber name='TIMED_GUIDE_N'>0</defNumber><defNumber name='TIMED_GUIDE_S'>0</defNumber></defNumberVector>";
const char kGuideBusy[] =
    "<setNumberVector device='Scope' name='TELESCOPE_TIMED_GUIDE_NS' state='Busy' timestamp='2024-01-01T00:00:00'>"
    "<oneNumber name='TIMED_GUIDE_N'>2000</oneNumber><oneNumber name='TIMED_GUIDE_S'>0</oneNumber></setNumberVector>";
const char kGuideIdle[] =
    "<setNumberVector device='Scope' name='TELESCOPE_TIMED_GUIDE_NS' state='Idle'>"
    "<oneNumber name='TIMED_GUIDE_N'>0</oneNumber></setNumberVector>";

struct Fed {
    std::string lines;  // the updates' summaries, one per line
    std::string error;
    IndiModel model;
};

// Feeds the stream in two pieces, split at the given byte, into a parser and a model.
Fed feed(const std::string& stream, size_t splitAt = 0, size_t limit = IndiStreamParser::kDefaultElementLimit)
{
    Fed fed;
    IndiStreamParser parser(
        [&fed](const IndiUpdate& update) {
            fed.model.apply(update, std::chrono::steady_clock::now());
            fed.lines += update.summary() + "\n";
        },
        limit);
    if (parser.feed(stream.data(), splitAt)) parser.feed(stream.data() + splitAt, stream.size() - splitAt);
    fed.error = parser.error();
    return fed;
}

const struct {
    const char* what;
    std::string stream;
    const char* lines;
    const char* error;  // a piece of the error sentence; empty where the stream is fine
} kStreamCases[] = {
    {"definition", kDefine, "def EQUATORIAL_EOD_COORD Number Idle RA=5:30:00 DEC=-12.5\n", ""},
    {"set with state", std::string(kGuideDefine) + kGuideBusy,
     "def TELESCOPE_TIMED_GUIDE_NS Number Idle TIMED_GUIDE_N=0 TIMED_GUIDE_S=0\n"
     "set TELESCOPE_TIMED_GUIDE_NS Busy TIMED_GUIDE_N=2000 TIMED_GUIDE_S=0\n", ""},
    {"switch, light and text", "<defSwitchVector device='S' name='CONNECTION' state='Ok' rule='OneOfMany'>"
     "<defSwitch name='CONNECT'>On</defSwitch></defSwitchVector><setLightVector device='S' name='L' state='Alert'>"
     "<oneLight name='X'>Busy</oneLight></setLightVector><defTextVector device='S' name='T' state='Ok'>"
     "<defText name='PORT'>/dev/tty&lt;0&gt;</defText></defTextVector>",
     "def CONNECTION Switch Ok CONNECT=On\nset L Alert X=Busy\ndef T Text Ok PORT=/dev/tty<0>\n", ""},
    {"message and deletions", "<message device='Scope' message='[INFO] online'/><message message='hello'/>"
     "<delProperty device='Scope' name='CONNECTION'/><delProperty device='Scope'/>",
     "message Scope: [INFO] online\nmessage hello\ndel CONNECTION\ndel device Scope\n", ""},
    {"unknown and unasked elements pass by", "<fooVector device='S'><x/></fooVector><setBLOBVector device='S' "
     "name='CCD1'><oneBLOB name='CCD1'>AAAA</oneBLOB></setBLOBVector><getProperties version='1.7'/>" + std::string(kDefine),
     "ignored unknown element <fooVector>\nignored setBLOBVector (BLOBs are not asked for)\n"
     "ignored unknown element <getProperties>\ndef EQUATORIAL_EOD_COORD Number Idle RA=5:30:00 DEC=-12.5\n", ""},
    {"vectors missing what they need", "<defNumberVector name='X' state='Idle'/><setNumberVector device='S' "
     "name='X' state='Weird'/><delProperty name='X'/>",
     "ignored defNumberVector without a device or property name\nignored setNumberVector X with state 'Weird'\n"
     "ignored delProperty without a device or property name\n", ""},
    {"control characters never reach a terminal", "<message message='a&#x9b;2Jb&#10;c&#9;'/>", "message a 2Jb c \n", ""},
    {"a control character XML forbids", "<message message='&#27;[2J'/>", "", "bad XML at byte 18"},
    {"mismatched tags", std::string(kDefine) + "<setNumberVector device='S' name='X'><oneNumber>1</oneSwitch>",
     "def EQUATORIAL_EOD_COORD Number Idle RA=5:30:00 DEC=-12.5\n", "bad XML at byte 260"},
    {"undefined entity", "<message message='&bomb;'/>", "", "bad XML"},
    {"a document type cannot come mid-stream", "<!DOCTYPE x [<!ENTITY a 'aaaa'>]><message message='&a;'/>", "", "bad XML"},
    {"not UTF-8", "<message message='\xff\xfe'/>", "", "bad XML"},
    {"closing more than was opened", "</defNumberVector>", "", "bad XML"},
};

TEST(IndiStreamTest, ReadsEachElementOrSaysWhyItStopped)
{
    for (const auto& test : kStreamCases) {
        SCOPED_TRACE(test.what);
        const Fed fed = feed(test.stream);
        EXPECT_EQ(fed.lines, test.lines);
        if (*test.error) {
            EXPECT_NE(fed.error.find(test.error), std::string::npos) << fed.error;
        } else {
            EXPECT_EQ(fed.error, "");
        }
    }
}

TEST(IndiStreamTest, StopsAtAnElementOverTheLimitWhetherItEndsOrNot)
{
    const std::string big = "<message message='" + std::string(300, 'x') + "'/>";
    const std::string open = "<defTextVector device='S' name='T' state='Ok'><defText name='A'>" + std::string(3000, 'y');
    for (const std::string& stream : {big, std::string(kDefine) + big, open, "<message message='" + std::string(3000, 'z')}) {
        const Fed fed = feed(stream, 0, 250);
        EXPECT_NE(fed.error.find("longer than 250 bytes"), std::string::npos) << fed.error;
    }
    EXPECT_EQ(feed(std::string(kDefine) + kDefine, 0, 250).error, "");
}

TEST(IndiStreamTest, ReadsTheSameWhereverTheStreamIsSplit)
{
    const std::string stream = std::string(kDefine) + kGuideDefine + kGuideBusy + "<message message='m'/>" + kGuideIdle;
    const Fed whole = feed(stream);
    for (size_t splitAt = 0; splitAt <= stream.size(); ++splitAt) {
        const Fed split = feed(stream, splitAt);
        ASSERT_EQ(split.lines, whole.lines) << "split at byte " << splitAt;
        ASSERT_EQ(split.model.revision(), whole.model.revision());
    }
}

TEST(IndiStreamTest, ModelKeepsValuesAnswersAndBusySpells)
{
    const Fed fed = feed(std::string(kDefine) + kGuideDefine + kGuideBusy + kGuideIdle +
                         "<setNumberVector device='Other' name='X'><oneNumber name='A'>1</oneNumber></setNumberVector>"
                         "<setNumberVector device='Scope' name='EQUATORIAL_EOD_COORD'><oneNumber name='DEC'>20:15</oneNumber>"
                         "<oneNumber name='ALT'>1</oneNumber></setNumberVector>" + kGuideDefine);
    ASSERT_EQ(fed.error, "");
    EXPECT_DOUBLE_EQ(fed.model.element("Scope", "EQUATORIAL_EOD_COORD", "RA")->number, 5.5);
    EXPECT_DOUBLE_EQ(fed.model.element("Scope", "EQUATORIAL_EOD_COORD", "DEC")->number, 20.25);
    EXPECT_EQ(fed.model.element("Scope", "EQUATORIAL_EOD_COORD", "ALT"), nullptr);
    EXPECT_EQ(fed.model.find("Other", "X"), nullptr);
    const IndiProperty* guide = fed.model.find("Scope", "TELESCOPE_TIMED_GUIDE_NS");
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(guide->state, PropertyState::Idle);
    EXPECT_EQ(guide->element("TIMED_GUIDE_N")->text, "0");
    EXPECT_EQ(guide->element("TIMED_GUIDE_S")->text, "0");
    // The definition again at the end is no answer, and forgets no Busy spell.
    EXPECT_EQ(guide->revision, 6u);
    EXPECT_EQ(guide->setRevision, 4u);
    EXPECT_EQ(guide->busyRevision, 3u);
    EXPECT_EQ(guide->settledRevision, 4u);
    EXPECT_LE(guide->busyAt, guide->settledAt);
}

TEST(IndiStreamTest, ModelRefusesARunawayOfDefinitions)
{
    IndiModel model;
    IndiUpdate update;
    update.kind = IndiUpdate::Kind::Define;
    update.property.device = "S";
    for (size_t index = 0; index < IndiModel::kPropertyLimit; ++index) {
        update.property.name = std::to_string(index);
        ASSERT_EQ(model.apply(update, {}), IndiModel::Applied::Changed);
    }
    update.property.name = "one more";
    EXPECT_EQ(model.apply(update, {}), IndiModel::Applied::OverLimit);
    update.property.name = "0";
    EXPECT_EQ(model.apply(update, {}), IndiModel::Applied::Changed) << "a redefinition is no new property";
}

}  // namespace
}  // namespace indi
