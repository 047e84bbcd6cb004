#ifndef CORE_PROFILE_H
#define CORE_PROFILE_H

#include "core_export.h"
#include "coreversion.h"

#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>
#include <QtGui/QColor>
#include <QtSql/QSqlDatabase>

#include <memory>

class ProfilePrivate;

/// The typed settings that are read often: one row per setting, giving the
/// value type and the name. The name is the setting's key in the profile
/// table, the getter's name, and (with set_ in front) the setter's name.
/// The order is the order of the cache members in Profile.
#define CORE_PROFILE_TYPED_SETTINGS(X)            \
    X(QString, statim_sample_prefix)              \
    X(QString, qc_sample_prefix)                  \
    X(QString, result_is_preparing)               \
    X(QString, result_can_not_be_calculated)      \
    X(QString, result_is_incubating)              \
    X(QString, result_is_analysing)               \
    X(QString, result_not_clotted)                \
    X(QString, dilution_result_flag)              \
    X(QString, lower_report_limit_flag)           \
    X(QString, upper_report_limit_flag)           \
    X(QString, lower_mark_limit_flag)             \
    X(QString, upper_mark_limit_flag)             \
    X(QString, manual_input_flag)                 \
    X(QColor,  color_of_waiting)                  \
    X(QColor,  color_of_dispensing)               \
    X(QColor,  color_of_incubating)               \
    X(QColor,  color_of_analysing)                \
    X(QColor,  color_of_null_result)              \
    X(QString, analysis_display_assay)            \
    X(QString, patient_display_fields)            \
    X(int,     max_qc_file)                       \
    X(int,     qc_method)                         \
    X(QString, hospital)                          \
    X(bool,    is_touch_screen)

/// The process's settings store and the owner of the three database
/// connections "profile" (profile.db), "data" (data.db) and "qc" (qc.db), all
/// in the working directory of the process.
///
/// Settings are name/value rows of the table "profile" in profile.db. All rows
/// are read once at start-up; afterwards lookups are served from memory, and a
/// name looked up and not found is remembered as absent until reload() finds
/// the file changed. Writes go to memory and, when asked for, to the file;
/// setValue() and remove() say whether the file took the change.
///
/// Every member may be called from any thread, the typed settings included.
/// The connection getters return the named connection on the thread that
/// built the store and a clone of it (opened on first use, removed when the
/// thread ends) on any other thread, so curve storage and sample numbers work
/// from worker threads too.
class CORE_EXPORT Profile : public QObject
{
    Q_OBJECT
public:
    /// Opens "profile.db", then "data.db" and "qc.db", in the working
    /// directory, and loads the settings; problems are shown with warning().
    explicit Profile(QObject *parent = nullptr);
    /// The same with another profile file (data.db and qc.db stay in the
    /// working directory). Registers the three connections again.
    explicit Profile(const QString &fileName, QObject *parent = nullptr);
    ~Profile() override;

    /// The process's single store, created on the first call with "profile.db"
    /// in the working directory. The first call must complete before any other
    /// thread calls it.
    static Profile &instance();

    /// The connection to profile.db, data.db or qc.db for the calling thread.
    QSqlDatabase database() const;
    /// The connection to data.db for the calling thread (see database()).
    QSqlDatabase dataDatabase() const;
    /// The connection to qc.db for the calling thread (see database()).
    QSqlDatabase qcDatabase() const;

    /// The setting's value, or defaultValue when it is absent. A name not
    /// known yet is looked up in the file once; its absence is remembered.
    QVariant value(const QString &name, const QVariant &defaultValue = QVariant());
    /// The value of name if it has a valid one, otherwise that of
    /// fallbackName, otherwise defaultValue.
    QVariant value2(const QString &name, const QString &fallbackName,
                    const QVariant &defaultValue = QVariant());
    /// Sets the value in memory and, with writeThrough, in the file. An
    /// invalid value deletes the row (with writeThrough) and keeps the name as
    /// known-absent. Returns false when the file could not take the change
    /// (in use by another program past the 5 s busy time-out, read-only, no
    /// profile table, not open): the value is then kept in memory only, and
    /// lastError() says why. Without writeThrough always true.
    bool setValue(const QString &name, const QVariant &value, bool writeThrough = true);
    /// Forgets the name in memory and deletes its row in the file; false (see
    /// lastError()) when the file could not take the deletion.
    bool remove(const QString &name);
    /// Every name in memory: loaded, stored, or looked up (absent ones too).
    QStringList keys() const;

    /// Why the calling thread's last failed setValue() or remove() on this
    /// store failed: one sentence naming the file, the cause and what to do.
    /// Empty after a write that succeeded.
    QString lastError() const;

    /// Reads the profile table again if another connection (another program,
    /// or this store on another thread) committed a change to profile.db since
    /// this thread's last look (SQLite's PRAGMA data_version): changed rows
    /// replace cached values, rows deleted in the file are forgotten, and
    /// every name known to be absent is forgotten so that the next lookup asks
    /// the file again. Typed settings take the changed rows too; one deleted
    /// in the file is read again, with the next getter's default. Values set
    /// without writeThrough (or whose write failed) are kept. Emits
    /// valueChanged() for every name whose value changed. Returns whether the
    /// file had changed; when it had not, this costs one small statement.
    bool reload();

    /// Sources and translations are UTF-8, so trUtf8 is tr.
    static QString trUtf8(const char *sourceText, const char *disambiguation = nullptr,
                          int n = -1)
    {
        return tr(sourceText, disambiguation, n);
    }

    /// Typed settings: the first read in this object's life fixes the value
    /// (the stored one, or the default given to that read); later reads return
    /// it without a lookup. Only the setter and reload() change it afterwards.
    /// Safe from any thread; a read after the first takes no lock. Each
    /// distinct value a typed setting has held stays in memory until the
    /// store is destroyed (so that no reader can see it freed).
#define CORE_PROFILE_DECLARE_ACCESSORS(Type, name) \
    Type name(const Type &defaultValue);           \
    void set_##name(const Type &value, bool writeThrough = true);
    CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_DECLARE_ACCESSORS)
#undef CORE_PROFILE_DECLARE_ACCESSORS

Q_SIGNALS:
    /// The value of name, as lookups return it, was changed by setValue(),
    /// remove() or reload() (or a typed setter). Emitted on the thread that
    /// made the change, after the change.
    void valueChanged(const QString &name);

private:
    friend class ProfileAccess;
    void init(const QString &fileName);
    template <typename T>
    T typedValue(int index, const T &defaultValue);
    template <typename T>
    void setTypedValue(int index, const T &value, bool writeThrough);
    bool writeFailed(const QSqlDatabase &db, const QString &name, const QString &cause);

    std::unique_ptr<ProfilePrivate> d;

    Q_DISABLE_COPY_MOVE(Profile)
};

#endif // CORE_PROFILE_H
