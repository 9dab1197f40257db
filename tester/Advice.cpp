#include "tester/Advice.h"

namespace advice {

std::vector<std::string> lineFailed()
{
    return {"A write to the port failed or did not finish within 1 s: the adapter may have been unplugged or the "
            "cable pulled. If the mount is still moving, stop it with its handset, then run 'guide-link check'."};
}

std::vector<std::string> outOfBound()
{
    return {"The link keeps time with its 100 ms heartbeat; on a machine that is busy with other work its threads "
            "can be late. Try again on a quiet machine, or allow for it with --slack."};
}

std::vector<std::string> mountTimed()
{
    return {"The mount timed each pulse itself (:Mg): what it lasted cannot be measured on the line, as the mount "
            "stops by itself without a reply. guide-link sent the stop anyway once the pulse's time and half as "
            "much again were up, so a mount that takes :Mg as a plain move is left stopped. "
            "'guide-link motion --timed-by both' measures how far mount-timed pulses move the mount."};
}

}  // namespace advice
