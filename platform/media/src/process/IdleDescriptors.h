#pragma once
// What an engine process keeps open between items. Each item's pipeline opens sockets,
// event descriptors and pipes and closes them as it stops; a pipeline stopped at the
// wrong moment (a download under way as its demuxer stops, which a seek makes likely)
// leaves some open for as long as the process lives, where nothing in the process can
// reach them. So each time the process has no item and no teardown runs, it counts what
// it has open, kind by kind, against what it had the first such time; one that keeps
// more says it is unfit (Report::Unfit), and the host ends it with its last item.

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>

namespace media::process {

/// The descriptors process `pid` has open, by kind: "socket", "eventfd", "pipe", "memfd",
/// "eventpoll", "file"... (what the link of each under /proc/<pid>/fd names); empty when
/// they cannot be read.
std::map<std::string, long> descriptorKinds(pid_t pid);

class IdleDescriptors {
public:
    /// Counts this process's descriptors at a moment it has no item and no teardown
    /// runs: true when some kind has more than the first such moment had. Picture memory
    /// ("memfd") is left out: the process keeps a slot ready on purpose.
    bool grew();

private:
    std::optional<std::map<std::string, long>> level_;
};

}  // namespace media::process
