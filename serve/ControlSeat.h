#pragma once

#include <map>
#include <mutex>
#include <string>

// Which of the pages that watch guide-link serve may drive the mount: one at a time. Each page
// joins with a number everyone may see and a key only it knows, which its requests carry.
class ControlSeat {
public:
    struct Page {
        int number = 0;
        std::string key;
    };

    Page join(int number);
    // The page went away; if it had control, nobody has it now, and true says so.
    bool leave(int number);

    // The page whose key this is takes control; the number of the page that had it, or 0.
    // False for a key of no page.
    bool take(const std::string& key, int& previous);
    bool heldBy(const std::string& key) const;
    int holder() const;

private:
    mutable std::mutex mutex;
    std::map<std::string, int> pages;  // by key
    int holder_ = 0;
};
