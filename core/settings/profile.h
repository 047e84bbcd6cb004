#ifndef PROFILE_H
#define PROFILE_H

#include <core_export.h>

#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>
#include <QtGui/QColor>
#include <QtSql/QSqlDatabase>

#include <memory>

class ProfilePrivate;

// The typed settings that are read often: one row per setting, giving the
// value type and the name. The name is the setting's key in the profile
// table, the getter's name, and (with set_ in front) the setter's name.
// The order is the order of the cache members in Profile.
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

// The process's settings store and the owner of the three database
// connections "profile" (profile.db), "data" (data.db) and "qc" (qc.db).
//
// Settings are name/value rows of the table "profile" in profile.db. All rows
// are read once at start-up; afterwards lookups are served from memory, and a
// name looked up and not found is remembered as absent. Writes go to memory
// and, when asked for, to the file.
//
// Lookups, stores and removals may be called from any thread. The connection
// getters return the named connections, which Qt lets only the thread that
// opened them use.
class CORE_EXPORT Profile : public QObject
{
    Q_OBJECT
public:
    explicit Profile(QObject *parent = nullptr);
    explicit Profile(const QString &fileName, QObject *parent = nullptr);
    ~Profile() override;

    // The process's single store, created on the first call with "profile.db"
    // in the working directory. The first call must complete before any other
    // thread calls it.
    static Profile &instance();

    QSqlDatabase database() const;
    QSqlDatabase dataDatabase() const;
    QSqlDatabase qcDatabase() const;

    QVariant value(const QString &name, const QVariant &defaultValue = QVariant());
    QVariant value2(const QString &name, const QString &fallbackName,
                    const QVariant &defaultValue = QVariant());
    // An invalid value deletes the row (with writeThrough) and keeps the name
    // as known-absent.
    void setValue(const QString &name, const QVariant &value, bool writeThrough = true);
    void remove(const QString &name);
    QStringList keys() const;

    // Sources and translations are UTF-8, so trUtf8 is tr.
    static QString trUtf8(const char *sourceText, const char *disambiguation = nullptr,
                          int n = -1)
    {
        return tr(sourceText, disambiguation, n);
    }

    // Typed settings: the first read in this object's life fixes the value
    // (the stored one, or the default given to that read); later reads return
    // it without a lookup or a lock. Only the setter changes it afterwards.
#define CORE_PROFILE_DECLARE_ACCESSORS(Type, name) \
    Type name(const Type &defaultValue);           \
    void set_##name(const Type &value, bool writeThrough = true);
    CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_DECLARE_ACCESSORS)
#undef CORE_PROFILE_DECLARE_ACCESSORS

private:
    friend class ProfileAccess;
    void init(const QString &fileName);
    template <typename T>
    T typedValue(QVariant &member, const char *name, const T &defaultValue);
    template <typename T>
    void setTypedValue(QVariant &member, const char *name, const T &value, bool writeThrough);

#define CORE_PROFILE_DECLARE_MEMBER(Type, name) QVariant m_##name;
    CORE_PROFILE_TYPED_SETTINGS(CORE_PROFILE_DECLARE_MEMBER)
#undef CORE_PROFILE_DECLARE_MEMBER

    std::unique_ptr<ProfilePrivate> d;

    Q_DISABLE_COPY_MOVE(Profile)
};

#endif // PROFILE_H
