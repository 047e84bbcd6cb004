#ifndef CORE_PROFILE_P_H
#define CORE_PROFILE_P_H

// Internal to Core.

#include "profile.h"

#include <QtCore/QHash>
#include <QtCore/QSet>

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <memory>
#include <vector>

// The typed settings by position, in the order of CORE_PROFILE_TYPED_SETTINGS.
enum class TypedSetting : int {
#define CORE_PROFILE_TYPED_INDEX(Type, name) name,
    CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_TYPED_INDEX)
#undef CORE_PROFILE_TYPED_INDEX
    Count
};

// The cached value of one typed setting, readable from any thread without a
// lock: readers load the pointer to an immutable value and copy it. A value
// once published is never changed or freed while the store lives, so a
// reader can never see it torn or freed. Setting a value equal to one held
// before publishes that one again, so the memory kept grows only with the
// number of distinct values a setting has had (settings change at the pace
// of a person editing them). Writers serialise on ProfilePrivate::typedLock.
struct TypedSlot
{
    std::atomic<const QVariant *> current{nullptr};   // null until read or set
    std::vector<std::unique_ptr<const QVariant>> values;   // every value published

    // Copies the value out as T; false (and *out untouched) while unset.
    template <typename T>
    bool get(T *out) const
    {
        const QVariant *value = current.load(std::memory_order_acquire);
        if (!value)
            return false;
        *out = value->template value<T>();
        return true;
    }

    // Publishes value (call with typedLock held).
    void publish(const QVariant &value)
    {
        for (const auto &held : values) {
            if (held->metaType() == value.metaType() && *held == value) {
                current.store(held.get(), std::memory_order_release);
                return;
            }
        }
        values.push_back(std::make_unique<const QVariant>(value));
        current.store(values.back().get(), std::memory_order_release);
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
    std::mutex typedLock;   // serialises writers of the typed slots

    // The last PRAGMA data_version seen on each connection, for reload().
    std::mutex versionLock;
    QHash<QString, qint64> dataVersions;
};

#endif // CORE_PROFILE_P_H
