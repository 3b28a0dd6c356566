#pragma once
// Lookups on helper threads, for the systems' name lookups. A resolver can be given neither a
// time limit nor a stop, so each name runs through it on a helper thread of its own: the wait
// for it gives up at its time limit or stop signal, and the helper then finishes alone and
// cleans up. A name whose resolver has not answered yet gets no second helper, so that a
// resolver that never answers holds one helper per name, however often the name is asked for.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/NameLookup.h"

class TLookupHelpers {
public:
    // The whole lookup of a name, as a helper makes it: 0 or a WinSock error number.
    using TResolve = std::function<int(const std::string& name, THostEntry& entry)>;
    explicit TLookupHelpers(TResolve resolve);

    // A request for the name's answer. `now` (a name that needs no resolver), or no helper to be
    // had: the lookup is made here, without a time limit.
    std::unique_ptr<TLookupRequest> Start(const std::string& name, bool now);

    struct TPending;

private:
    const TResolve FResolve;
    // The lookups whose resolver has not answered yet, by name.
    std::mutex FMutex;
    std::map<std::string, std::weak_ptr<TPending>> FUnderWay;
};
