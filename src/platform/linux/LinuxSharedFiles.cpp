#include "platform/linux/LinuxSharedFiles.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

// Where a name leads, to tell later whether it still leads to the same file.
struct TFileId {
    dev_t Device = 0;
    ino_t Inode = 0;
};

bool SameFile(const std::string& path, const TFileId& id) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && st.st_dev == id.Device && st.st_ino == id.Inode;
}

// A regular file of this user, of at least size bytes, that nobody else may read or write.
int CheckOurs(int fd, size_t size, TFileId& id) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
        return EACCES;
    }
    if (static_cast<size_t>(st.st_size) < size) {
        return EINVAL;
    }
    id = TFileId{st.st_dev, st.st_ino};
    return 0;
}

void* Map(int fd, size_t size, int& error) {
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        error = errno;
        return nullptr;
    }
    return data;
}

class TFileBlock : public TSharedBlock {
public:
    TFileBlock(std::string path, TFileId id, uint8_t* data, size_t size)
        : FPath(std::move(path)), FId(id), FData(data), FSize(size) {}
    ~TFileBlock() override { munmap(FData, FSize); }
    uint8_t* Data() const override { return FData; }
    size_t Size() const override { return FSize; }
    bool Current() const override { return SameFile(FPath, FId); }

private:
    std::string FPath;
    TFileId FId;
    uint8_t* FData;
    size_t FSize;
};

class TFileLock : public TNamedLock {
public:
    TFileLock(std::string path, TFileId id, pthread_mutex_t* mutex)
        : FPath(std::move(path)), FId(id), FMutex(mutex) {}
    ~TFileLock() override { munmap(FMutex, sizeof *FMutex); }

    TTake TryTake() override { return Result(pthread_mutex_trylock(FMutex)); }
    TTake Take(int timeoutMs) override {
        timespec until{};
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += timeoutMs / 1000;
        until.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_sec += 1;
            until.tv_nsec -= 1000000000L;
        }
        return Result(pthread_mutex_clocklock(FMutex, CLOCK_MONOTONIC, &until));
    }
    void Give() override { pthread_mutex_unlock(FMutex); }
    bool Current() const override { return SameFile(FPath, FId); }

private:
    TTake Result(int rc) {
        switch (rc) {
            case 0:
                return TTake::tTaken;
            case EOWNERDEAD:
                pthread_mutex_consistent(FMutex);
                return TTake::tTakenFromDead;
            case EBUSY:
            case ETIMEDOUT:
                return TTake::tBusy;
            default:
                return TTake::tFailed;
        }
    }

    std::string FPath;
    TFileId FId;
    pthread_mutex_t* FMutex;
};

bool InitMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0) {
        return false;
    }
    const bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
                    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
                    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK) == 0 &&
                    pthread_mutex_init(mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

// Makes a lock under a name of this process's own and links it to path. EEXIST when another
// process gave path a lock first.
int PublishLock(const std::string& path) {
    const std::string draft = path + ".new" + std::to_string(getpid());
    unlink(draft.c_str());
    const int fd = open(draft.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    void* data = nullptr;
    if (ftruncate(fd, sizeof(pthread_mutex_t)) != 0) {
        error = errno;
    } else if ((data = Map(fd, sizeof(pthread_mutex_t), error)) != nullptr) {
        if (!InitMutex(static_cast<pthread_mutex_t*>(data))) {
            error = EINVAL;
        }
        munmap(data, sizeof(pthread_mutex_t));
    }
    close(fd);
    if (error == 0 && link(draft.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    unlink(draft.c_str());
    return error;
}

}  // namespace

std::unique_ptr<TSharedBlock> OpenSharedFile(const std::string& path, size_t size, bool& existed,
                                             int& error) {
    existed = false;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        existed = true;
        fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // A fresh file has no bytes yet, and one that another process has just made may not have
    // them either; growing it fills it with zeros.
    struct stat st {};
    if (fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) < size &&
        ftruncate(fd, static_cast<off_t>(size)) != 0) {
        error = errno;
        close(fd);
        return nullptr;
    }
    TFileId id;
    error = CheckOurs(fd, size, id);
    void* data = error == 0 ? Map(fd, size, error) : nullptr;
    close(fd);
    if (data == nullptr) {
        return nullptr;
    }
    return std::make_unique<TFileBlock>(path, id, static_cast<uint8_t*>(data), size);
}

std::unique_ptr<TNamedLock> OpenLockFile(const std::string& path, bool& existed, int& error) {
    existed = true;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            error = PublishLock(path);
            if (error == 0) {
                existed = false;
            } else if (error != EEXIST) {
                return nullptr;
            }
            continue;
        }
        if (fd < 0) {
            error = errno;
            return nullptr;
        }
        TFileId id;
        error = CheckOurs(fd, sizeof(pthread_mutex_t), id);
        void* data = error == 0 ? Map(fd, sizeof(pthread_mutex_t), error) : nullptr;
        close(fd);
        if (data == nullptr) {
            return nullptr;
        }
        return std::make_unique<TFileLock>(path, id, static_cast<pthread_mutex_t*>(data));
    }
    // Made and removed again under our hands, over and over.
    error = EAGAIN;
    return nullptr;
}
