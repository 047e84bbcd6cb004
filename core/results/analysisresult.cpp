#include "analysisresult.h"

#include "numberformat_p.h"
#include "profile.h"
#include "profileaccess_p.h"

#include <QtCore/QCoreApplication>

class AnalysisResultData : public QSharedData
{
public:
    int id = 0;
    double value = AnalysisResult::nullValue;
    double od = AnalysisResult::invalidOD;
    int flags = 0;
    AnalysisResult::ErrorCode error = AnalysisResult::NullResult;
    QString errorText;
    ClotCurve curve;
    int ch = 0;
};

const double AnalysisResult::nullValue = 0.0;
const double AnalysisResult::notClottedValue = 999.9;
const double AnalysisResult::invalidOD = 0.0;

namespace {

// The record shared by every default-made result. It holds one count of its
// own, so no result ever frees it, and nothing writes to it: every write
// detaches first.
struct SharedNull : AnalysisResultData
{
    SharedNull() { ref.ref(); }
};
SharedNull sharedNull;

} // namespace

AnalysisResult::AnalysisResult()
    : d(&sharedNull)
{
}

AnalysisResult::AnalysisResult(double value)
    : d(new AnalysisResultData(sharedNull))
{
    setValue(value);
}

AnalysisResult::AnalysisResult(ErrorCode error)
    : d(new AnalysisResultData(sharedNull))
{
    d->value = 0.0;
    d->error = error;
    d->errorText = QString();
}

AnalysisResult::AnalysisResult(const AnalysisResult &other) = default;

// The moved-from result becomes a null result, still safe to use.
AnalysisResult::AnalysisResult(AnalysisResult &&other) noexcept
    : d(&sharedNull)
{
    swap(other);
}

AnalysisResult &AnalysisResult::operator=(const AnalysisResult &other) = default;

AnalysisResult &AnalysisResult::operator=(AnalysisResult &&other) noexcept
{
    swap(other);
    return *this;
}

AnalysisResult::~AnalysisResult() = default;

double AnalysisResult::value() const { return d->value; }
double AnalysisResult::od() const { return d->od; }
int AnalysisResult::id() const { return d->id; }
int AnalysisResult::flags() const { return d->flags; }
AnalysisResult::ErrorCode AnalysisResult::error() const { return d->error; }
int AnalysisResult::ch() const { return d->ch; }
ClotCurve AnalysisResult::curve() const { return d->curve; }

QVariant AnalysisResult::toVariant() const
{
    if (d->error == NoError || d->error == NotClotted)
        return QVariant(d->value);
    return QVariant();
}

void AnalysisResult::setValue(double value)
{
    d->value = value;
    if (value == nullValue)
        d->error = NullResult;
    else if (value == notClottedValue)
        d->error = NotClotted;
    else
        d->error = NoError;
}

void AnalysisResult::setOD(double od) { d->od = od; }
void AnalysisResult::setId(int id) { d->id = id; }
void AnalysisResult::setFlags(int flags) { d->flags = flags; }
void AnalysisResult::setCh(int ch) { d->ch = ch; }
void AnalysisResult::setCurve(const ClotCurve &curve) { d->curve = curve; }

void AnalysisResult::setFlag(ka::ResultFlag flag, bool on)
{
    if (on)
        d->flags |= flag;
    else
        d->flags &= ~int(flag);
}

void AnalysisResult::setManualTest(bool on)
{
    setFlag(ka::ManualTestFlag, on);
}

void AnalysisResult::setError(ErrorCode error)
{
    d->error = error;
    d->errorText = QString();
}

void AnalysisResult::setErrorText(const QString &text)
{
    d->errorText = text;
    d->error = UnknownError;
}

void AnalysisResult::clearErrorText()
{
    d->errorText = QString();
}

// --- texts -------------------------------------------------------------

QString AnalysisResult::errorText() const
{
    if (!d->errorText.isEmpty())
        return d->errorText;
    switch (d->error) {
    case InvalidValue: return QObject::tr("无效的值");
    case UnknownError: return QObject::tr("未知错误");
    case NullResult: return QObject::tr("结果为空");
    case NoStandardCurve: return QObject::tr("无标准曲线");
    case InvalidStandardCurve: return QObject::tr("标准曲线无效");
    case StandardCurveSettingError: return QObject::tr("标准曲线设置错误");
    case InvalidCalcMethod: return QObject::tr("无效的计算方法");
    case MissingCalcParameter: return QObject::tr("计算所需的参数不存在");
    default: return QString();
    }
}

QString AnalysisResult::prefix() const
{
    const int f = d->flags;
    if (!(f & (ka::ManualInputFlag | ka::DilutionResultFlag | ka::LowerReportLimitFlag
               | ka::UpperReportLimitFlag)))
        return QString();

    Profile &profile = Profile::instance();
    QString text;
    if (f & ka::ManualInputFlag)
        text += ProfileAccess::manual_input_flag(profile, [] { return Profile::tr("M"); });
    if (f & ka::DilutionResultFlag)
        text += ProfileAccess::dilution_result_flag(profile, [] { return Profile::tr("!"); });
    if (f & ka::LowerReportLimitFlag)
        text += ProfileAccess::lower_report_limit_flag(profile, [] { return Profile::tr("<"); });
    else if (f & ka::UpperReportLimitFlag)
        text += ProfileAccess::upper_report_limit_flag(profile, [] { return Profile::tr(">"); });
    return text;
}

QString AnalysisResult::suffix() const
{
    const int f = d->flags;
    if (f & ka::LowerMarkLimitFlag)
        return ProfileAccess::lower_mark_limit_flag(Profile::instance(),
                                                    [] { return Profile::trUtf8("↓"); });
    if (f & ka::UpperMarkLimitFlag)
        return ProfileAccess::upper_mark_limit_flag(Profile::instance(),
                                                    [] { return Profile::trUtf8("↑"); });
    return QString();
}

QString AnalysisResult::toString(Format format, char numberFormat, int precision) const
{
    if (d->error == NoError) {
        const QString number = ka::formatDouble(d->value, numberFormat, precision);
        if (format != WithMarks)
            return number;
        const QString before = prefix();
        const QString after = suffix();
        QString text;
        text.reserve(before.size() + number.size() + after.size() + 2);
        if (!before.isEmpty())
            text += before + QLatin1Char(' ');
        text += number;
        if (!after.isEmpty())
            text += QLatin1Char(' ') + after;
        return text;
    }
    if (d->error == NotClotted || d->value == notClottedValue)
        return ProfileAccess::result_not_clotted(Profile::instance(),
                                                 [] { return Profile::trUtf8("不凝"); });
    if (d->error != NullResult)
        return ProfileAccess::result_can_not_be_calculated(Profile::instance(),
                                                           [] { return Profile::tr("---.-"); });
    return QString();
}
