// `ulvex list --follow FILE`: a file listed as it grows, as `tail -F`
// follows a name.
#ifndef ULVEX_TOOLS_FOLLOW_H
#define ULVEX_TOOLS_FOLLOW_H

#include <cstddef>
#include <string>

#include "command.h"
#include "listing.h"

namespace ulvex_cli {

struct FollowOptions {
    std::string path;
    bool text = false;
    ListStyle style;
    std::size_t maxPayload = 0;  // the stream reader's longest payload waited for
};

// Lists the records the file holds, then waits for more and lists each one
// as soon as it is complete, with its offset in the file. When the file
// shrinks, or its name comes to stand for another file, that is said on
// standard error and the (new) file is listed from its start; the records
// the old bytes decide are listed first. Ends on SIGINT or SIGTERM with the
// summary line of everything read and returns 0. Waits on inotify (or
// polls 10 times a second without it); memory stays within the stream
// reader's bound plus one chunk. Throws Failure when the file cannot be read.
int Follow(const FollowOptions& options, Output& out);

}  // namespace ulvex_cli

#endif  // ULVEX_TOOLS_FOLLOW_H
