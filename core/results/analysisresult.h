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

/// Bits of AnalysisResult::flags(). Several may be set at once; other bits are
/// kept and returned unchanged.
enum ResultFlag : int {
    DilutionResultFlag = 0x0002,    ///< diluted sample: mark before the number
    LowerReportLimitFlag = 0x0004,  ///< below the reportable range: mark before
    UpperReportLimitFlag = 0x0008,  ///< above the reportable range: mark before
    LowerMarkLimitFlag = 0x0010,    ///< below the marking limit: mark after
    UpperMarkLimitFlag = 0x0020,    ///< above the marking limit: mark after
    ManualTestFlag = 0x1000,        ///< a manual test: no mark
    ManualInputFlag = 0x8000        ///< entered by hand: mark before
};

} // namespace ka

/// One test's clot curve: the readings over time, in one or more runs
/// (segments) of a start x, a step and the values. Copies share the points
/// until one of them is changed.
class CORE_EXPORT ClotCurve
{
public:
    /// What the y values of a curve are.
    enum PointType : qint32 {
        RawPoint = 0,  ///< the readings as measured
        OdPoint = 1    ///< optical densities, as made by toType()
    };

    /// Point k lies at x0 + k * dx and has the value y[k].
    struct Segment
    {
        double x0;          ///< x (time, s) of the first point
        double dx;          ///< x distance between neighbouring points
        QList<double> y;    ///< one value per point
    };

    /// An empty raw curve.
    ClotCurve() = default;

    /// What the y values are.
    PointType type() const { return pointType; }
    /// Sets the label only; any value is kept and stored as it is.
    void setType(PointType type) { pointType = type; }

    /// The runs of points, in time order (shared, not copied).
    QList<Segment> segments() const { return segmentList; }
    /// Replaces all segments.
    void setSegments(const QList<Segment> &segments) { segmentList = segments; }

    /// True when there are no segments; segments without points still count.
    bool isEmpty() const { return segmentList.isEmpty(); }
    /// Adds a segment at the end.
    void append(const Segment &segment) { segmentList.append(segment); }
    /// Adds a segment of the points x0 + k * dx with the values y.
    void append(double x0, double dx, const QList<double> &y) { segmentList.append({x0, dx, y}); }

    /// Number of points over all segments. A curve index runs across segments.
    int size() const;
    /// x and y of curve point i; 0.0 when there is no such point (i < 0 too).
    double x(int i) const;
    /// The y of curve point i; 0.0 when there is no such point.
    double y(int i) const;
    /// Deletes n points from curve index pos on, across segments. A segment
    /// that loses its last point is dropped; x0 and dx never change. Negative
    /// arguments delete nothing.
    void remove(int pos, int n);

    /// The curve itself (no simplification is applied).
    ClotCurve simplified() const { return *this; }
    /// The curve with its first segment converted from raw readings to optical
    /// densities against the mean reading of a one-unit window from x = 3.0 on.
    /// Only RawPoint -> OdPoint converts; anything else returns a copy.
    /// The points before the middle of that window become 0.0. A reading of
    /// zero or less counts as the smallest positive double, and every density
    /// is clamped to at most 5.0; a reading above the reference gives a
    /// negative density, which is kept. Later segments keep their readings.
    ClotCurve toType(PointType type) const;

    /// The byte form: big-endian type (int32), segment count (uint32), then per
    /// segment x0 and dx (IEEE doubles), point count (uint32) and the values.
    QByteArray toBuffer() const;
    /// Decodes a byte form. Never fails: fields past the end of the buffer
    /// read as 0. Counts that the buffer cannot hold are trusted only as far
    /// as the buffer's own length allows, so a corrupt blob cannot make the
    /// decoder allocate much more than its own size.
    static ClotCurve fromBuffer(const QByteArray &buffer);

    /// Store and load through the "data" connection of Profile::instance(),
    /// table curve (patientId, item, curve). Saving an empty curve erases the
    /// row; loading reads the newest row. Failures are logged, not returned.
    void save(int patientId, const QString &item) const;
    /// Replaces this curve by the newest stored one of the patient and item;
    /// empty when there is none. See save().
    void load(int patientId, const QString &item);

private:
    PointType pointType = RawPoint;
    QList<Segment> segmentList;
};

class AnalysisResultData;

/// One test result: its number, optical density, channel, id, flag bits, error
/// code with optional text, and clot curve. One pointer wide; copies share one
/// record until one of them changes. Default-made results share one static
/// null record and allocate nothing.
class CORE_EXPORT AnalysisResult
{
public:
    /// Why a result has no valid number. Other values are carried as they are.
    enum ErrorCode : qint32 {
        NoError = 0,                     ///< a valid result
        InvalidValue = 1,                ///< the value is invalid
        UnknownError = 2,                ///< an error described by errorText()
        NullResult = 3,                  ///< no result (the number 0.0)
        NoStandardCurve = 4,             ///< the assay has no standard curve
        InvalidStandardCurve = 5,        ///< the standard curve is invalid
        StandardCurveSettingError = 6,   ///< the standard curve is set up wrongly
        InvalidCalcMethod = 7,           ///< the calculation method is invalid
        MissingCalcParameter = 8,        ///< a parameter of the calculation is missing
        NotClotted = 9                   ///< the sample did not clot (999.9)
    };

    /// Whether toString() writes the marks of the flags.
    enum Format : int {
        WithMarks = 0,    ///< the number with its marks
        NumberOnly = 1    ///< the number alone
    };

    static const double nullValue;        ///< 0.0: no result
    static const double notClottedValue;  ///< 999.9: the sample did not clot
    static const double invalidOD;        ///< 0.0: no optical density

    /// A null result; allocates nothing.
    AnalysisResult();
    /// A result with the number, classified as setValue() does.
    AnalysisResult(double value);
    /// A result with the error code and no number.
    AnalysisResult(ErrorCode error);
    /// Shares the other's record.
    AnalysisResult(const AnalysisResult &other);
    /// Takes the other's record; the other becomes a null result.
    AnalysisResult(AnalysisResult &&other) noexcept;
    /// Shares the other's record.
    AnalysisResult &operator=(const AnalysisResult &other);
    /// Takes the other's record; the other becomes a null result.
    AnalysisResult &operator=(AnalysisResult &&other) noexcept;
    ~AnalysisResult();

    /// Exchanges the records of two results.
    void swap(AnalysisResult &other) noexcept { d.swap(other.d); }

    /// The number (0.0 for a null result, 999.9 for not clotted).
    double value() const;
    /// The number, as value().
    operator double() const { return value(); }
    /// The optical density (invalidOD when there is none).
    double od() const;
    /// The application's id of the result.
    int id() const;
    /// The flag bits (ka::ResultFlag and others, kept as they are).
    int flags() const;
    /// The error code.
    ErrorCode error() const;
    /// The measuring channel.
    int ch() const;
    /// The test's clot curve.
    ClotCurve curve() const;

    /// True for a result with a valid number (NoError).
    bool isValid() const { return error() == NoError; }
    /// True for a null result.
    bool isNull() const { return error() == NullResult; }
    /// True when both share one record.
    bool isCopyOf(const AnalysisResult &other) const { return d == other.d; }
    /// True when flags() has a bit in common with the given bits.
    bool testFlag(ka::ResultFlag flag) const { return (flags() & flag) != 0; }
    /// True for a manual test (ka::ManualTestFlag).
    bool isManualTest() const { return testFlag(ka::ManualTestFlag); }
    /// The number for a valid or not-clotted result, otherwise invalid.
    QVariant toVariant() const;

    /// Stores the number and classifies it: 0.0 is a null result, 999.9 not
    /// clotted, anything else (NaN too) valid. The error text is kept.
    void setValue(double value);
    /// Sets the optical density.
    void setOD(double od);
    /// Sets the application's id.
    void setId(int id);
    /// Sets all flag bits.
    void setFlags(int flags);
    /// Sets the measuring channel.
    void setCh(int ch);
    /// Sets the clot curve.
    void setCurve(const ClotCurve &curve);
    /// Sets or clears one flag bit.
    void setFlag(ka::ResultFlag flag, bool on = true);
    /// Sets or clears ka::ManualTestFlag.
    void setManualTest(bool on = true);
    /// Sets the code and clears the error text; the number is kept.
    void setError(ErrorCode error);
    /// Sets the text and the code UnknownError.
    void setErrorText(const QString &text);
    /// Removes the error text; the code stays.
    void clearErrorText();

    /// The stored error text, or the (translated) text of the error code.
    QString errorText() const;
    /// The display text: for a valid result the number written with
    /// numberFormat ('e', 'E', 'f', 'g', 'G') and precision as printf does,
    /// correctly rounded in the C locale, with the marks of its flags when
    /// format is WithMarks; otherwise the not-clotted text, the
    /// cannot-be-calculated text, or nothing for a null result.
    ///
    /// With marks the text is prefix(), one blank, the number, one blank and
    /// suffix(); each blank only where its mark is not empty: "M! 12.50 ↑".
    /// The marks and texts are typed settings of Profile::instance(), with
    /// these (translated) defaults when profile.db lacks them: manual input
    /// "M", dilution "!", below / above the reportable range "<" / ">",
    /// below / above the marking limit "↓" / "↑", not clotted "不凝",
    /// cannot be calculated "---.-".
    ///
    /// So formatting a result reads settings through Profile::instance(),
    /// whose first call opens profile.db, data.db and qc.db in the working
    /// directory (and shows a message box when they are missing). Safe from
    /// any thread once that first call has completed.
    QString toString(Format format = WithMarks, char numberFormat = 'f', int precision = 2) const;
    /// Marks written before the number, without blanks between them: manual
    /// input, dilution, then one report-limit mark (lower wins over upper).
    QString prefix() const;
    /// Mark written after the number: one marking-limit mark (lower wins).
    QString suffix() const;

private:
    QSharedDataPointer<AnalysisResultData> d;
};

Q_DECLARE_SHARED(AnalysisResult)
Q_DECLARE_METATYPE(ClotCurve)
Q_DECLARE_METATYPE(AnalysisResult)

#endif // CORE_ANALYSISRESULT_H
