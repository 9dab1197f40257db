#include "ui/AppModel.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ui/DialogPost.h"
#include "ui/TelescopeControlDlgCallback.h"

namespace {

// Posts that AppModel made; in this program they go nowhere else.
std::vector<int> posted;

class ShownStatuses final : public TelescopeControlDlgCallback {
public:
    void showStatus(int code) override { shown.push_back(code); }
    std::vector<int> shown;
};

class AppModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        posted.clear();
        model.setListener(&dialog);
    }

    AppModel model;
    ShownStatuses dialog;
};

TEST_F(AppModelTest, EachMessageShowsTheLatestCodeOnly)
{
    model.onStatus(8);
    model.onStatus(7);
    EXPECT_EQ(posted, (std::vector<int>{AppModel::kStatusPending, AppModel::kStatusPending}));
    // The dialog handles both messages only now: "Sending correction pulse." is never shown.
    model.deliverPending(AppModel::kStatusPending);
    model.deliverPending(AppModel::kStatusPending);
    EXPECT_EQ(dialog.shown, (std::vector<int>{7, 7}));
}

TEST_F(AppModelTest, OtherMessagesAndMessagesBeforeAnyStatusShowNothing)
{
    model.deliverPending(AppModel::kStatusPending);
    model.onStatus(3);
    model.deliverPending(1001);
    model.deliverPending(0);
    EXPECT_TRUE(dialog.shown.empty());
}

TEST_F(AppModelTest, WithoutAListenerDeliveringDoesNothing)
{
    AppModel unheard;
    unheard.onStatus(7);
    unheard.deliverPending(AppModel::kStatusPending);
    SUCCEED();
}

TEST_F(AppModelTest, ReportsFromAnotherThreadArriveWhole)
{
    constexpr int kReports = 2000;
    std::thread link([this] {
        for (int i = 1; i <= kReports; ++i) model.onStatus(i);
    });
    for (int i = 0; i < kReports; ++i) model.deliverPending(AppModel::kStatusPending);
    link.join();
    model.deliverPending(AppModel::kStatusPending);
    // Codes only ever grow, and the last one is shown in the end.
    for (size_t i = 1; i < dialog.shown.size(); ++i) ASSERT_LE(dialog.shown[i - 1], dialog.shown[i]);
    EXPECT_EQ(dialog.shown.back(), kReports);
}

}  // namespace

void postToDialog(int wParam, int /*lParam*/) { posted.push_back(wParam); }
