#include "tester/LinkSession.h"

LinkSession::Parts::Parts() : link(&events) { link.setObserver(&events); }

LinkSession::LinkSession() : parts(std::make_unique<Parts>())
{
    heartbeat.attach(&parts->link);
    heartbeat.start();
}

LinkSession::~LinkSession()
{
    // In the dialog program's order: the heartbeat lets go of the link, which must not take a
    // tick while it comes down; then the link's threads; then the heartbeat's.
    heartbeat.detach();
    // A link thread that did not come down in time still uses the link and reports into the
    // queue: both end with the process instead.
    if (!parts->link.shutDown()) static_cast<void>(parts.release());
    heartbeat.stop();
}
