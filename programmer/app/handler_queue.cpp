#include "programmer/app/handler_queue.h"

#include <exception>

namespace app {

HandlerQueue::Outcome HandlerQueue::act(const std::function<void()>& handler) {
    if (busy_ || model_.ended)
        return Outcome::Refused;
    busy_ = true;
    lastFailure_.clear();
    try {
        handler();
    } catch (const std::exception& error) {
        lastFailure_ = error.what();
    } catch (...) {
        lastFailure_ = "unknown failure";
    }
    busy_ = false;
    if (!model_.ended)
        return Outcome::Ran;
    posted_.clear();
    return Outcome::Ended;
}

bool HandlerQueue::post(std::function<void()> event) {
    if (model_.ended)
        return false;
    posted_.push_back(std::move(event));
    return !busy_;
}

HandlerQueue::Outcome HandlerQueue::runNextPosted() {
    if (busy_ || posted_.empty())
        return Outcome::Refused;  // the running handler's front end asks again when it is done
    auto event = std::move(posted_.front());
    posted_.pop_front();
    return act(event);
}

}  // namespace app
