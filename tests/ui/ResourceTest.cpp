// Reads the dialog template and the arrow bitmaps back out of the built tester executable and
// compares them with how the dialog must look. Another process cannot read the bitmaps off the
// running dialog's buttons, so they are checked here, from the file that ships.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "support/TesterPath.h"

namespace {

class TesterResources : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module = LoadLibraryExA(testerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() { FreeLibrary(module); }

    void SetUp() override { ASSERT_NE(module, nullptr) << "cannot load " << testerPath(); }

    static const unsigned char* resource(int id, LPCSTR type)
    {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
        return found ? static_cast<const unsigned char*>(LockResource(LoadResource(module, found))) : nullptr;
    }

    static HMODULE module;
};

HMODULE TesterResources::module = nullptr;

// --- bitmaps ---

struct BlackRun {
    int row;
    int firstColumn;
    int lastColumn;
};

std::vector<BlackRun> triangle(int firstRow, const std::vector<int>& firsts, const std::vector<int>& lasts)
{
    std::vector<BlackRun> runs;
    for (size_t i = 0; i < firsts.size(); ++i) runs.push_back({firstRow + static_cast<int>(i), firsts[i], lasts[i]});
    return runs;
}

struct ArrowCase {
    int id;
    const char* points;
    std::vector<BlackRun> black;
};

const ArrowCase kArrowCases[] = {
    {100, "left", triangle(3, {11, 10, 9, 8, 7, 7, 8, 9, 10, 11}, std::vector<int>(10, 11))},
    {101, "right", triangle(3, std::vector<int>(10, 4), {4, 5, 6, 7, 8, 8, 7, 6, 5, 4})},
    {102, "up", triangle(7, {7, 6, 5, 4, 3}, {8, 9, 10, 11, 12})},
    {103, "down", triangle(4, {3, 4, 5, 6, 7}, {12, 11, 10, 9, 8})},
};

bool shouldBeBlack(const ArrowCase& arrow, int row, int column)
{
    for (const BlackRun& run : arrow.black) {
        if (run.row == row && column >= run.firstColumn && column <= run.lastColumn) return true;
    }
    return false;
}

TEST_F(TesterResources, ArrowBitmapsAreBlackTrianglesOnWhite)
{
    for (const ArrowCase& arrow : kArrowCases) {
        SCOPED_TRACE(arrow.points);
        const auto* bits = resource(arrow.id, MAKEINTRESOURCEA(2) /* RT_BITMAP */);
        ASSERT_NE(bits, nullptr);
        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(bits);
        ASSERT_EQ(header->biWidth, 16);
        ASSERT_EQ(header->biHeight, 16);  // positive: bottom-up rows
        ASSERT_EQ(header->biBitCount, 1);
        ASSERT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
        const auto* palette = reinterpret_cast<const RGBQUAD*>(bits + header->biSize);
        EXPECT_EQ(RGB(palette[0].rgbRed, palette[0].rgbGreen, palette[0].rgbBlue), RGB(0, 0, 0));
        EXPECT_EQ(RGB(palette[1].rgbRed, palette[1].rgbGreen, palette[1].rgbBlue), RGB(255, 255, 255));
        const unsigned char* pixels = reinterpret_cast<const unsigned char*>(palette + 2);
        constexpr int kStride = 4;  // 16 bits, padded to a whole DWORD
        for (int row = 0; row < 16; ++row) {
            const unsigned char* line = pixels + (15 - row) * kStride;
            for (int column = 0; column < 16; ++column) {
                const bool black = ((line[column / 8] >> (7 - column % 8)) & 1) == 0;
                EXPECT_EQ(black, shouldBeBlack(arrow, row, column)) << "row " << row << " column " << column;
            }
        }
    }
}

// --- dialog template ---

// Walks a DLGTEMPLATEEX.
class TemplateReader {
public:
    explicit TemplateReader(const unsigned char* at) : at(at) {}

    uint16_t word() { return take<uint16_t>(); }
    uint32_t dword() { return take<uint32_t>(); }
    int16_t coordinate() { return take<int16_t>(); }

    std::wstring text()
    {
        std::wstring value;
        for (uint16_t c = word(); c != 0; c = word()) value += static_cast<wchar_t>(c);
        return value;
    }

    // A name or an ordinal; the standard control classes' ordinals come back as their names.
    std::wstring nameOrOrdinal()
    {
        const uint16_t first = *reinterpret_cast<const uint16_t*>(at);
        if (first == 0) return word(), L"";
        if (first != 0xFFFF) return lowered(text());
        word();
        switch (word()) {
        case 0x80: return L"button";
        case 0x81: return L"edit";
        case 0x82: return L"static";
        case 0x85: return L"combobox";
        default: return L"?";
        }
    }

    // A control's text, or the ordinal of a resource shown as "#n".
    std::wstring title()
    {
        if (*reinterpret_cast<const uint16_t*>(at) != 0xFFFF) return text();
        word();
        return L"#" + std::to_wstring(word());
    }

    void alignToDword(const unsigned char* start)
    {
        while ((at - start) % 4 != 0) ++at;
    }
    void skip(size_t bytes) { at += bytes; }
    const unsigned char* position() const { return at; }

private:
    template <class T>
    T take()
    {
        T value;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return value;
    }
    static std::wstring lowered(std::wstring value)
    {
        for (wchar_t& c : value) c = static_cast<wchar_t>(std::towlower(c));
        return value;
    }

    const unsigned char* at;
};

struct ExpectedControl {
    int id;
    const wchar_t* kind;
    const wchar_t* text;
    int x, y, width, height;
    DWORD style;  // beyond child and visible
};

const ExpectedControl kControls[] = {
    {1000, L"static", L"Port:", 5, 6, 40, 12, WS_GROUP | SS_RIGHT},
    {102, L"combobox", L"", 48, 4, 70, 200, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
    {100, L"button", L"Connect", 120, 4, 60, 14, BS_PUSHBUTTON | WS_TABSTOP},
    {101, L"button", L"Disconnect", 182, 4, 60, 14, BS_PUSHBUTTON | WS_TABSTOP},
    {1001, L"static", L"Status:", 5, 23, 40, 10, WS_GROUP | SS_RIGHT},
    {110, L"edit", L"", 48, 22, 194, 12, WS_BORDER | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP},
    {1100, L"button", L"Language / nyelv", 4, 40, 100, 40, BS_GROUPBOX},
    {120, L"button", L"English", 8, 52, 90, 12, BS_RADIOBUTTON | WS_TABSTOP},
    {121, L"button", L"Magyar", 8, 64, 90, 12, BS_RADIOBUTTON | WS_TABSTOP},
    {1002, L"static", L"Velkor Autoguider", 10, 85, 160, 10, WS_GROUP | SS_LEFT},
    {1003, L"static", nullptr, 10, 95, 160, 10, WS_GROUP | SS_LEFT},  // the maker's web address
    {130, L"edit", L"", 156, 67, 32, 12, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP},
    {140, L"button", L"", 160, 46, 24, 16, BS_BITMAP | WS_TABSTOP},
    {141, L"button", L"", 160, 86, 24, 16, BS_BITMAP | WS_TABSTOP},
    {142, L"button", L"", 128, 66, 24, 16, BS_BITMAP | WS_TABSTOP},
    {143, L"button", L"", 192, 66, 24, 16, BS_BITMAP | WS_TABSTOP},
};

TEST_F(TesterResources, DialogTemplateHasEveryControlInTabOrder)
{
    const unsigned char* start = resource(100, MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    ASSERT_NE(start, nullptr);
    TemplateReader read(start);
    ASSERT_EQ(read.word(), 1);       // version
    ASSERT_EQ(read.word(), 0xFFFF);  // the extended template
    read.dword();                    // help id
    EXPECT_EQ(read.dword(), static_cast<DWORD>(WS_EX_CLIENTEDGE));
    EXPECT_EQ(read.dword(), static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                               DS_SETFONT | DS_FIXEDSYS));
    const int count = read.word();
    EXPECT_EQ(read.coordinate(), 32);
    EXPECT_EQ(read.coordinate(), 32);
    EXPECT_EQ(read.coordinate(), 245);
    EXPECT_EQ(read.coordinate(), 110);
    EXPECT_EQ(read.nameOrOrdinal(), L"");  // no menu
    EXPECT_EQ(read.nameOrOrdinal(), L"");  // the standard dialog class
    EXPECT_EQ(read.text(), L"Velkor Autoguider tester");
    EXPECT_EQ(read.word(), 8);  // points
    read.word();                // weight
    read.skip(2);               // italic, character set
    EXPECT_EQ(read.text(), L"MS Shell Dlg");

    ASSERT_EQ(count, static_cast<int>(sizeof kControls / sizeof kControls[0]));
    for (const ExpectedControl& expected : kControls) {
        SCOPED_TRACE(expected.id);
        read.alignToDword(start);
        read.dword();  // help id
        EXPECT_EQ(read.dword(), 0u);  // extended style
        EXPECT_EQ(read.dword(), WS_CHILD | WS_VISIBLE | expected.style);
        EXPECT_EQ(read.coordinate(), expected.x);
        EXPECT_EQ(read.coordinate(), expected.y);
        EXPECT_EQ(read.coordinate(), expected.width);
        EXPECT_EQ(read.coordinate(), expected.height);
        EXPECT_EQ(read.dword(), static_cast<uint32_t>(expected.id));
        EXPECT_EQ(read.nameOrOrdinal(), expected.kind);
        const std::wstring text = read.title();
        if (expected.text) {
            EXPECT_EQ(text, expected.text);
        } else {
            EXPECT_EQ(text.rfind(L"http://", 0), 0u) << "a web address";
        }
        read.skip(read.word());  // creation data
    }
}

}  // namespace
