#ifndef CORE_PROFILE_P_H
#define CORE_PROFILE_P_H

// Internal to Core.

#include "profile.h"

#include <QtCore/QHash>
#include <QtCore/QSet>

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <thread>

// The typed settings by position, in the order of CORE_PROFILE_TYPED_SETTINGS.
enum class TypedSetting : int {
#define CORE_PROFILE_TYPED_INDEX(Type, name) name,
    CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_TYPED_INDEX)
#undef CORE_PROFILE_TYPED_INDEX
    Count
};

// A lock for critical sections of a few nanoseconds (copying one value out).
// An uncontended lock and unlock is one atomic exchange and one store, about
// half the cost of std::mutex; that keeps a typed getter within a small
// factor of reading a plain member. Built on std::atomic so that
// ThreadSanitizer sees the ordering.
class SpinLock
{
public:
    void lock() noexcept
    {
        while (m_locked.exchange(true, std::memory_order_acquire)) {
            // Wait without writing, so waiting readers do not steal the
            // cache line from the holder; give the core away if it is long.
            for (int spins = 0; m_locked.load(std::memory_order_relaxed); ++spins) {
                if (spins > 64)
                    std::this_thread::yield();
            }
        }
    }
    void unlock() noexcept { m_locked.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_locked{false};
};

// The cached value of one typed setting: invalid until its first read or set.
struct TypedSlot
{
    mutable SpinLock lock;
    QVariant value;

    // Copies the value out as T; false (and *out untouched) while unset.
    template <typename T>
    bool get(T *out) const
    {
        std::lock_guard<SpinLock> locker(lock);
        if (!value.isValid())
            return false;
        *out = value.template value<T>();
        return true;
    }
};

class ProfilePrivate
{
public:
    // Name -> value. An invalid value marks a name known to be absent.
    QHash<QString, QVariant> cache;
    // Names whose cached value is not (or could not be) in the file: stored
    // without write-through, or whose write failed. A reload keeps them.
    QSet<QString> memoryOnly;
    // A standard lock rather than QReadWriteLock so that ThreadSanitizer can
    // check it: Qt's own futex-based locks are invisible to it.
    mutable std::shared_mutex lock;

    TypedSlot typed[int(TypedSetting::Count)];

    // The last PRAGMA data_version seen on each connection, for reload().
    std::mutex versionLock;
    QHash<QString, qint64> dataVersions;
};

#endif // CORE_PROFILE_P_H
