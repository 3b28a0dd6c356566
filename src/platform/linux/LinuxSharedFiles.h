#pragma once
// Named blocks and locks as small files in a folder that only this user may enter (the guard's
// folder, see TLinuxInterProcess::GuardDirectory): mapped into memory, so they are shared by
// every process of the user that opens the same name, and out of every other user's reach.
//
// A block is created zero-filled. A lock is a robust, process-shared mutex: a holder that dies
// hands it to the next taker with word of the death. A lock's file is made whole under a
// temporary name and then given its name in one step, so nobody ever opens one half made.
//
// Each file is checked after opening: a regular file of this user that nobody else may read
// or write, else it is not used.

#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/InterProcess.h"

std::unique_ptr<TSharedBlock> OpenSharedFile(const std::string& path, size_t size, bool& existed,
                                             int& error);
std::unique_ptr<TNamedLock> OpenLockFile(const std::string& path, bool& existed, int& error);
