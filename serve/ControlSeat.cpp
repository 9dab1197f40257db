#include "serve/ControlSeat.h"

#include "serve/RequestChecks.h"

ControlSeat::Page ControlSeat::join(int number)
{
    const Page page{number, web::makeToken()};
    std::lock_guard<std::mutex> hold(mutex);
    pages[page.key] = number;
    return page;
}

bool ControlSeat::leave(int number)
{
    std::lock_guard<std::mutex> hold(mutex);
    for (auto page = pages.begin(); page != pages.end(); ++page) {
        if (page->second == number) {
            pages.erase(page);
            break;
        }
    }
    if (holder_ != number) return false;
    holder_ = 0;
    return true;
}

bool ControlSeat::take(const std::string& key, int& previous)
{
    std::lock_guard<std::mutex> hold(mutex);
    const auto page = pages.find(key);
    if (page == pages.end()) return false;
    previous = holder_;
    holder_ = page->second;
    return true;
}

bool ControlSeat::heldBy(const std::string& key) const
{
    std::lock_guard<std::mutex> hold(mutex);
    const auto page = pages.find(key);
    return page != pages.end() && page->second == holder_;
}

int ControlSeat::holder() const
{
    std::lock_guard<std::mutex> hold(mutex);
    return holder_;
}
