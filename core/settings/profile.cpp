#include "profile.h"

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

// Which thread registered the current "profile" connection, and how many times
// it has been registered. Every Profile uses the newest registration.
std::atomic<QThread *> profileConnectionThread{nullptr};
std::atomic<quint64> profileConnectionGeneration{0};

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
// other thread gets its own clone of the "profile" connection, made on first
// use and removed when the thread ends.
class ThreadProfileConnection
{
public:
    ~ThreadProfileConnection() { release(); }

    QSqlDatabase get()
    {
        const quint64 generation = profileConnectionGeneration.load();
        if (m_name.isEmpty() || m_generation != generation) {
            release();
            static std::atomic<quint64> serial{0};
            m_name = QStringLiteral("profile/thread-%1").arg(++serial);
            m_generation = generation;
            QSqlDatabase db = QSqlDatabase::cloneDatabase(profileConnection, m_name);
            db.open();
            return db;
        }
        return openedConnection(m_name);
    }

private:
    void release()
    {
        if (m_name.isEmpty())
            return;
        QSqlDatabase::removeDatabase(m_name);
        m_name.clear();
    }

    QString m_name;
    quint64 m_generation = 0;
};

thread_local ThreadProfileConnection threadProfileConnection;

QSqlDatabase profileConnectionForThisThread()
{
    if (QThread::currentThread() == profileConnectionThread.load())
        return openedConnection(profileConnection);
    return threadProfileConnection.get();
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

class ProfilePrivate
{
public:
    // Name -> value. An invalid value marks a name known to be absent.
    QHash<QString, QVariant> cache;
    // A standard lock rather than QReadWriteLock so that ThreadSanitizer can
    // check it: Qt's own futex-based locks are invisible to it.
    mutable std::shared_mutex lock;
};

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
    profileConnectionThread.store(QThread::currentThread());
    ++profileConnectionGeneration;
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
    return QSqlDatabase::database(profileConnection, true);
}

QSqlDatabase Profile::dataDatabase() const
{
    return QSqlDatabase::database(dataConnection, true);
}

QSqlDatabase Profile::qcDatabase() const
{
    return QSqlDatabase::database(qcConnection, true);
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
    if (const QSqlDatabase db = profileConnectionForThisThread(); db.isOpen()) {
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

void Profile::setValue(const QString &name, const QVariant &value, bool writeThrough)
{
    {
        std::unique_lock locker(d->lock);
        d->cache.insert(name, value);
    }
    if (!writeThrough)
        return;

    const QSqlDatabase db = profileConnectionForThisThread();
    if (!db.isOpen())
        return;   // the store's statements log nothing: the value stays in memory
    QSqlQuery query(db);
    if (value.isValid()) {
        query.prepare(QStringLiteral("insert or replace into profile (name, value) values(?,?)"));
        query.addBindValue(name);
        query.addBindValue(value);
    } else {
        query.prepare(QStringLiteral("delete from profile where name = ?"));
        query.addBindValue(name);
    }
    query.exec();
}

void Profile::remove(const QString &name)
{
    {
        std::unique_lock locker(d->lock);
        d->cache.remove(name);
    }
    const QSqlDatabase db = profileConnectionForThisThread();
    if (!db.isOpen())
        return;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("delete from profile where name = ?"));
    query.addBindValue(name);
    query.exec();
}

QStringList Profile::keys() const
{
    std::unique_lock locker(d->lock);
    return d->cache.keys();
}

template <typename T>
T Profile::typedValue(QVariant &member, const char *name, const T &defaultValue)
{
    if (!member.isValid())
        member = value(QLatin1String(name), QVariant::fromValue(defaultValue));
    return member.value<T>();
}

template <typename T>
void Profile::setTypedValue(QVariant &member, const char *name, const T &value,
                            bool writeThrough)
{
    member = QVariant::fromValue(value);
    setValue(QLatin1String(name), member, writeThrough);
}

#define CORE_PROFILE_DEFINE_ACCESSORS(Type, name)                              \
    Type Profile::name(const Type &defaultValue)                               \
    {                                                                          \
        return typedValue(m_##name, #name, defaultValue);                      \
    }                                                                          \
    void Profile::set_##name(const Type &value, bool writeThrough)             \
    {                                                                          \
        setTypedValue(m_##name, #name, value, writeThrough);                   \
    }
CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_DEFINE_ACCESSORS)
#undef CORE_PROFILE_DEFINE_ACCESSORS
