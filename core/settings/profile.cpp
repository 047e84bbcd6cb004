#include "profile.h"
#include "profile_p.h"

#include "kaglobal.h"

#include <QtCore/QHash>
#include <QtCore/QThread>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>

#include <atomic>
#include <mutex>
#include <shared_mutex>

namespace {

const auto sqliteDriver = QStringLiteral("QSQLITE");
const auto profileConnection = QStringLiteral("profile");
const auto dataConnection = QStringLiteral("data");
const auto qcConnection = QStringLiteral("qc");

// Which thread registered the current three connections, and how many times
// they have been registered. Every Profile uses the newest registration.
std::atomic<QThread *> connectionThread{nullptr};
std::atomic<quint64> connectionGeneration{0};

enum Connection { ProfileConnection, DataConnection, QcConnection, ConnectionCount };

const QString &connectionName(Connection which)
{
    static const QString names[ConnectionCount] = {profileConnection, dataConnection, qcConnection};
    return names[which];
}

// Looks a connection up and reopens it if someone closed it. Unlike
// QSqlDatabase::database(name, true) this logs nothing when that fails.
QSqlDatabase openedConnection(const QString &name)
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (db.isValid() && !db.isOpen())
        db.open();
    return db;
}

// Qt lets a named connection be used only by the thread that opened it. Any
// other thread gets its own clones of the three connections, each made on
// first use and removed when the thread ends.
class ThreadConnections
{
public:
    ~ThreadConnections() { release(); }

    QSqlDatabase get(Connection which)
    {
        const quint64 generation = connectionGeneration.load();
        if (m_generation != generation) {
            release();
            m_generation = generation;
        }
        QString &name = m_names[which];
        if (name.isEmpty()) {
            static std::atomic<quint64> serial{0};
            name = QStringLiteral("%1/thread-%2").arg(connectionName(which)).arg(++serial);
            QSqlDatabase db = QSqlDatabase::cloneDatabase(connectionName(which), name);
            db.open();
            return db;
        }
        return openedConnection(name);
    }

private:
    void release()
    {
        for (QString &name : m_names) {
            if (!name.isEmpty())
                QSqlDatabase::removeDatabase(name);
            name.clear();
        }
    }

    QString m_names[ConnectionCount];
    quint64 m_generation = 0;
};

thread_local ThreadConnections threadConnections;

bool isConnectionThread()
{
    return QThread::currentThread() == connectionThread.load();
}

// The connection the store's own statements use on the calling thread;
// never logs.
QSqlDatabase storeConnection()
{
    if (isConnectionThread())
        return openedConnection(profileConnection);
    return threadConnections.get(ProfileConnection);
}

// What the public getters return: on the owning thread the named connection,
// reopened (with Qt's log line) if someone closed it; elsewhere the clone.
QSqlDatabase connectionForThisThread(Connection which)
{
    if (isConnectionThread())
        return QSqlDatabase::database(connectionName(which), true);
    return threadConnections.get(which);
}

// The last write error of the calling thread, and the store it belongs to.
struct WriteError
{
    const void *store = nullptr;
    QString text;
};
thread_local WriteError lastWriteError;

const char *const typedSettingNames[] = {
#define CORE_PROFILE_TYPED_NAME(Type, name) #name,
    CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_TYPED_NAME)
#undef CORE_PROFILE_TYPED_NAME
};

int typedSettingIndex(const QString &name)
{
    for (int i = 0; i < int(TypedSetting::Count); ++i) {
        if (name == QLatin1String(typedSettingNames[i]))
            return i;
    }
    return -1;
}

// PRAGMA data_version of a connection: changes whenever another connection
// commits to the file. -1 when it cannot be read.
qint64 dataVersion(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("pragma data_version")) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

// Opens a named SQLite connection; returns it whether or not that worked.
QSqlDatabase openConnection(const QString &name, const QString &fileName)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(sqliteDriver, name);
    db.setDatabaseName(fileName);
    db.open();
    return db;
}

void showStartupWarning(const QString &text)
{
    warning(text, QMessageBox::Ok, QMessageBox::NoButton);
}

} // namespace

Profile::Profile(QObject *parent)
    : Profile(QStringLiteral("profile.db"), parent)
{
}

Profile::Profile(const QString &fileName, QObject *parent)
    : QObject(parent)
{
    init(fileName);
}

Profile::~Profile() = default;

Profile &Profile::instance()
{
    static Profile profile;
    return profile;
}

void Profile::init(const QString &fileName)
{
    d = std::make_unique<ProfilePrivate>();

    QSqlDatabase db = openConnection(profileConnection, fileName);
    connectionThread.store(QThread::currentThread());
    ++connectionGeneration;
    if (!db.isOpen())
        showStartupWarning(tr("无法加载配置文件 %1\n%2").arg(fileName, db.lastError().text()));
    if (db.tables().isEmpty())
        showStartupWarning(tr("错误的配置文件 %1").arg(fileName));

    if (db.isOpen()) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("select name, value from profile"))) {
            while (query.next())
                d->cache.insert(query.value(0).toString(), query.value(1));
        }
        d->dataVersions.insert(profileConnection, dataVersion(db));
    }

    for (const auto &[name, file] : {std::pair{dataConnection, QStringLiteral("data.db")},
                                     std::pair{qcConnection, QStringLiteral("qc.db")}}) {
        QSqlDatabase other = openConnection(name, file);
        if (!other.isOpen())
            showStartupWarning(tr("无法打开数据库文件 %1").arg(file));
        if (other.tables().isEmpty())
            showStartupWarning(tr("错误的数据库文件 %1").arg(file));
    }
}

QSqlDatabase Profile::database() const
{
    return connectionForThisThread(ProfileConnection);
}

QSqlDatabase Profile::dataDatabase() const
{
    return connectionForThisThread(DataConnection);
}

QSqlDatabase Profile::qcDatabase() const
{
    return connectionForThisThread(QcConnection);
}

QVariant Profile::value(const QString &name, const QVariant &defaultValue)
{
    {
        std::shared_lock locker(d->lock);
        const auto it = d->cache.constFind(name);
        if (it != d->cache.cend())
            return it->isValid() ? *it : defaultValue;
    }

    // Not known yet: ask the file once, without holding the lock, and
    // remember the answer, absence included.
    QVariant fetched;
    if (const QSqlDatabase db = storeConnection(); db.isOpen()) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("select value from profile where name = ?"));
        query.addBindValue(name);
        if (query.exec() && query.next())
            fetched = query.value(0);
    }
    {
        std::unique_lock locker(d->lock);
        d->cache.insert(name, fetched);
    }
    return fetched.isValid() ? fetched : defaultValue;
}

QVariant Profile::value2(const QString &name, const QString &fallbackName,
                         const QVariant &defaultValue)
{
    const QVariant first = value(name);
    return first.isValid() ? first : value(fallbackName, defaultValue);
}

bool Profile::setValue(const QString &name, const QVariant &value, bool writeThrough)
{
    bool changed = false;
    {
        std::unique_lock locker(d->lock);
        auto it = d->cache.find(name);
        if (it == d->cache.end()) {
            changed = true;
            d->cache.insert(name, value);
        } else if (*it != value || it->isValid() != value.isValid()) {
            changed = true;
            *it = value;
        }
        d->memoryOnly.insert(name);
    }

    bool written = true;
    if (writeThrough) {
        // The store's statements log nothing: a failure is returned.
        const QSqlDatabase db = storeConnection();
        if (!db.isOpen()) {
            written = writeFailed(db, name, db.lastError().text());
        } else {
            QSqlQuery query(db);
            if (value.isValid()) {
                query.prepare(QStringLiteral("insert or replace into profile (name, value) values(?,?)"));
                query.addBindValue(name);
                query.addBindValue(value);
            } else {
                query.prepare(QStringLiteral("delete from profile where name = ?"));
                query.addBindValue(name);
            }
            written = query.exec() || writeFailed(db, name, query.lastError().text());
        }
        if (written) {
            std::unique_lock locker(d->lock);
            d->memoryOnly.remove(name);
            lastWriteError = {};
        }
    }
    if (changed)
        Q_EMIT valueChanged(name);
    return written;
}

bool Profile::remove(const QString &name)
{
    bool changed = false;
    {
        std::unique_lock locker(d->lock);
        const auto it = d->cache.constFind(name);
        changed = it != d->cache.cend() && it->isValid();
        d->cache.remove(name);
        d->memoryOnly.remove(name);
    }
    const QSqlDatabase db = storeConnection();
    bool written = false;
    if (!db.isOpen()) {
        written = writeFailed(db, name, db.lastError().text());
    } else {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("delete from profile where name = ?"));
        query.addBindValue(name);
        written = query.exec() || writeFailed(db, name, query.lastError().text());
    }
    if (written)
        lastWriteError = {};
    if (changed)
        Q_EMIT valueChanged(name);
    return written;
}

bool Profile::writeFailed(const QSqlDatabase &db, const QString &name, const QString &cause)
{
    const QString lower = cause.toLower();
    QString advice;
    if (lower.contains(QLatin1String("locked")) || lower.contains(QLatin1String("busy")))
        advice = tr("the file is in use by another program; close that program and save again");
    else if (lower.contains(QLatin1String("readonly")) || lower.contains(QLatin1String("read-only")))
        advice = tr("the file or its folder is read-only; give the workstation's user write permission");
    else if (lower.contains(QLatin1String("no such table")))
        advice = tr("the file has no profile table; run dbupdate or restore the file from a backup");
    else if (lower.contains(QLatin1String("full")))
        advice = tr("the disk is full; free some space and save again");
    else
        advice = tr("check the file and save again");
    const QString file = db.databaseName().isEmpty() ? QStringLiteral("profile.db") : db.databaseName();
    lastWriteError = {d.get(),
                      tr("%1: the setting \"%2\" was not saved (%3): %4. Until then it is kept in "
                         "memory only.")
                          .arg(file, name, cause.trimmed().isEmpty() ? tr("not open") : cause.trimmed(),
                               advice)};
    return false;
}

QString Profile::lastError() const
{
    return lastWriteError.store == d.get() ? lastWriteError.text : QString();
}

bool Profile::reload()
{
    const QSqlDatabase db = storeConnection();
    if (!db.isOpen())
        return false;
    const qint64 version = dataVersion(db);
    {
        std::lock_guard locker(d->versionLock);
        const auto seen = d->dataVersions.constFind(db.connectionName());
        if (version >= 0 && seen != d->dataVersions.cend() && *seen == version)
            return false;
        d->dataVersions.insert(db.connectionName(), version);
    }

    QHash<QString, QVariant> rows;
    {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("select name, value from profile")))
            return false;
        while (query.next())
            rows.insert(query.value(0).toString(), query.value(1));
    }

    QStringList changed;
    {
        std::unique_lock locker(d->lock);
        for (auto it = d->cache.begin(); it != d->cache.end();) {
            if (d->memoryOnly.contains(it.key())) {
                ++it;
                continue;
            }
            const auto row = rows.constFind(it.key());
            if (row == rows.cend()) {
                // Deleted in the file, or known to be absent: forget it, so
                // the next lookup asks the file.
                if (it->isValid())
                    changed << it.key();
                it = d->cache.erase(it);
                continue;
            }
            if (!it->isValid() || *it != *row) {
                changed << it.key();
                *it = *row;
            }
            ++it;
        }
        for (auto row = rows.cbegin(); row != rows.cend(); ++row) {
            if (!d->cache.contains(row.key()))
                d->cache.insert(row.key(), row.value());
        }
        // Typed settings already read take the file's change; one whose row
        // was deleted is read again by its next getter.
        for (const QString &name : std::as_const(changed)) {
            const int index = typedSettingIndex(name);
            if (index < 0)
                continue;
            TypedSlot &slot = d->typed[index];
            std::lock_guard typedLocker(d->typedLock);
            if (!slot.current.load(std::memory_order_relaxed))
                continue;
            const auto row = rows.constFind(name);
            if (row == rows.cend())
                slot.current.store(nullptr, std::memory_order_release);
            else
                slot.publish(*row);
        }
    }
    for (const QString &name : std::as_const(changed))
        Q_EMIT valueChanged(name);
    return true;
}

QStringList Profile::keys() const
{
    std::unique_lock locker(d->lock);
    return d->cache.keys();
}

template <typename T>
T Profile::typedValue(int index, const T &defaultValue)
{
    TypedSlot &slot = d->typed[index];
    T result{};
    if (slot.get(&result))
        return result;
    // First read: ask the store without holding the slot (it may query the
    // file), then keep the answer unless another thread set it meanwhile.
    const QVariant fetched = value(QLatin1String(typedSettingNames[index]), QVariant::fromValue(defaultValue));
    std::lock_guard locker(d->typedLock);
    if (!slot.current.load(std::memory_order_relaxed))
        slot.publish(fetched);
    return slot.current.load(std::memory_order_relaxed)->value<T>();
}

template <typename T>
void Profile::setTypedValue(int index, const T &value, bool writeThrough)
{
    const QVariant wrapped = QVariant::fromValue(value);
    {
        std::lock_guard locker(d->typedLock);
        d->typed[index].publish(wrapped);
    }
    setValue(QLatin1String(typedSettingNames[index]), wrapped, writeThrough);
}

#define CORE_PROFILE_DEFINE_ACCESSORS(Type, name)                              \
    Type Profile::name(const Type &defaultValue)                               \
    {                                                                          \
        return typedValue(int(TypedSetting::name), defaultValue);              \
    }                                                                          \
    void Profile::set_##name(const Type &value, bool writeThrough)             \
    {                                                                          \
        setTypedValue(int(TypedSetting::name), value, writeThrough);           \
    }
CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_DEFINE_ACCESSORS)
#undef CORE_PROFILE_DEFINE_ACCESSORS
