#ifndef CORE_ANALYSISRESULT_H
#define CORE_ANALYSISRESULT_H

#include "core_export.h"

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QMetaType>
#include <QtCore/QSharedDataPointer>
#include <QtCore/QString>
#include <QtCore/QVariant>

namespace ka {

// Bits of AnalysisResult::flags(). Several may be set at once; other bits are
// kept and returned unchanged.
enum ResultFlag : int {
    DilutionResultFlag = 0x0002,    // diluted sample: mark before the number
    LowerReportLimitFlag = 0x0004,  // below the reportable range: mark before
    UpperReportLimitFlag = 0x0008,  // above the reportable range: mark before
    LowerMarkLimitFlag = 0x0010,    // below the marking limit: mark after
    UpperMarkLimitFlag = 0x0020,    // above the marking limit: mark after
    ManualTestFlag = 0x1000,        // a manual test: no mark
    ManualInputFlag = 0x8000        // entered by hand: mark before
};

} // namespace ka

// One test's clot curve: the readings over time, in one or more runs
// (segments) of a start x, a step and the values. Copies share the points
// until one of them is changed.
class CORE_EXPORT ClotCurve
{
public:
    enum PointType : qint32 {
        RawPoint = 0,  // the readings as measured
        OdPoint = 1    // optical densities, as made by toType()
    };

    // Point k lies at x0 + k * dx and has the value y[k].
    struct Segment
    {
        double x0;
        double dx;
        QList<double> y;
    };

    ClotCurve() = default;

    PointType type() const { return pointType; }
    // Sets the label only; any value is kept and stored as it is.
    void setType(PointType type) { pointType = type; }

    QList<Segment> segments() const { return segmentList; }
    void setSegments(const QList<Segment> &segments) { segmentList = segments; }

    // True when there are no segments; segments without points still count.
    bool isEmpty() const { return segmentList.isEmpty(); }
    void append(const Segment &segment) { segmentList.append(segment); }
    void append(double x0, double dx, const QList<double> &y) { segmentList.append({x0, dx, y}); }

    // Number of points over all segments. A curve index runs across segments.
    int size() const;
    // x and y of curve point i; 0.0 when there is no such point (i < 0 too).
    double x(int i) const;
    double y(int i) const;
    // Deletes n points from curve index pos on, across segments. A segment
    // that loses its last point is dropped; x0 and dx never change. Negative
    // arguments delete nothing.
    void remove(int pos, int n);

    ClotCurve simplified() const { return *this; }
    // The curve with its first segment converted from raw readings to optical
    // densities against the mean reading of a one-unit window from x = 3.0 on.
    // Only RawPoint -> OdPoint converts; anything else returns a copy.
    // The points before the middle of that window become 0.0. A reading of
    // zero or less counts as the smallest positive double, and every density
    // is clamped to at most 5.0; a reading above the reference gives a
    // negative density, which is kept. Later segments keep their readings.
    ClotCurve toType(PointType type) const;

    // The byte form: big-endian type (int32), segment count (uint32), then per
    // segment x0 and dx (IEEE doubles), point count (uint32) and the values.
    QByteArray toBuffer() const;
    // Decodes a byte form. Never fails: fields past the end of the buffer
    // read as 0. Counts that the buffer cannot hold are trusted only as far
    // as the buffer's own length allows, so a corrupt blob cannot make the
    // decoder allocate much more than its own size.
    static ClotCurve fromBuffer(const QByteArray &buffer);

    // Store and load through the "data" connection of Profile::instance(),
    // table curve (patientId, item, curve). Saving an empty curve erases the
    // row; loading reads the newest row. Failures are logged, not returned.
    void save(int patientId, const QString &item) const;
    void load(int patientId, const QString &item);

private:
    PointType pointType = RawPoint;
    QList<Segment> segmentList;
};

class AnalysisResultData;

// One test result: its number, optical density, channel, id, flag bits, error
// code with optional text, and clot curve. One pointer wide; copies share one
// record until one of them changes. Default-made results share one static
// null record and allocate nothing.
class CORE_EXPORT AnalysisResult
{
public:
    enum ErrorCode : qint32 {
        NoError = 0,
        InvalidValue = 1,
        UnknownError = 2,
        NullResult = 3,
        NoStandardCurve = 4,
        InvalidStandardCurve = 5,
        StandardCurveSettingError = 6,
        InvalidCalcMethod = 7,
        MissingCalcParameter = 8,
        NotClotted = 9
    };

    enum Format : int {
        WithMarks = 0,
        NumberOnly = 1
    };

    static const double nullValue;        // 0.0: no result
    static const double notClottedValue;  // 999.9: the sample did not clot
    static const double invalidOD;        // 0.0: no optical density

    AnalysisResult();
    AnalysisResult(double value);
    AnalysisResult(ErrorCode error);
    AnalysisResult(const AnalysisResult &other);
    AnalysisResult(AnalysisResult &&other) noexcept;
    AnalysisResult &operator=(const AnalysisResult &other);
    AnalysisResult &operator=(AnalysisResult &&other) noexcept;
    ~AnalysisResult();

    void swap(AnalysisResult &other) noexcept { d.swap(other.d); }

    double value() const;
    operator double() const { return value(); }
    double od() const;
    int id() const;
    int flags() const;
    ErrorCode error() const;
    int ch() const;
    ClotCurve curve() const;

    bool isValid() const { return error() == NoError; }
    bool isNull() const { return error() == NullResult; }
    bool isCopyOf(const AnalysisResult &other) const { return d == other.d; }
    // True when flags() has a bit in common with the given bits.
    bool testFlag(ka::ResultFlag flag) const { return (flags() & flag) != 0; }
    bool isManualTest() const { return testFlag(ka::ManualTestFlag); }
    // The number for a valid or not-clotted result, otherwise invalid.
    QVariant toVariant() const;

    // Stores the number and classifies it: 0.0 is a null result, 999.9 not
    // clotted, anything else (NaN too) valid. The error text is kept.
    void setValue(double value);
    void setOD(double od);
    void setId(int id);
    void setFlags(int flags);
    void setCh(int ch);
    void setCurve(const ClotCurve &curve);
    void setFlag(ka::ResultFlag flag, bool on = true);
    void setManualTest(bool on = true);
    // Sets the code and clears the error text; the number is kept.
    void setError(ErrorCode error);
    // Sets the text and the code UnknownError.
    void setErrorText(const QString &text);
    void clearErrorText();

    // The stored error text, or the (translated) text of the error code.
    QString errorText() const;
    // The display text: for a valid result the number written with
    // numberFormat ('e', 'E', 'f', 'g', 'G') and precision as printf does,
    // correctly rounded in the C locale, with the marks of its flags when
    // format is WithMarks; otherwise the not-clotted text, the
    // cannot-be-calculated text, or nothing for a null result.
    //
    // With marks the text is prefix(), one blank, the number, one blank and
    // suffix(); each blank only where its mark is not empty: "M! 12.50 ↑".
    // The marks and texts are typed settings of Profile::instance(), with
    // these (translated) defaults when profile.db lacks them: manual input
    // "M", dilution "!", below / above the reportable range "<" / ">",
    // below / above the marking limit "↓" / "↑", not clotted "不凝",
    // cannot be calculated "---.-".
    //
    // So formatting a result reads settings through Profile::instance(),
    // whose first call opens profile.db, data.db and qc.db in the working
    // directory (and shows a message box when they are missing). Safe from
    // any thread once that first call has completed.
    QString toString(Format format = WithMarks, char numberFormat = 'f', int precision = 2) const;
    // Marks written before the number, without blanks between them: manual
    // input, dilution, then one report-limit mark (lower wins over upper).
    QString prefix() const;
    // Mark written after the number: one marking-limit mark (lower wins).
    QString suffix() const;

private:
    QSharedDataPointer<AnalysisResultData> d;
};

Q_DECLARE_SHARED(AnalysisResult)
Q_DECLARE_METATYPE(ClotCurve)
Q_DECLARE_METATYPE(AnalysisResult)

#endif // CORE_ANALYSISRESULT_H
