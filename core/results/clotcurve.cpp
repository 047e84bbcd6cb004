#include "analysisresult.h"

#include "profile.h"

#include <QtCore/QtEndian>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

int ClotCurve::size() const
{
    qsizetype n = 0;
    for (const Segment &segment : segmentList)
        n += segment.y.size();
    return int(n);
}

namespace {

// The segment that holds curve point i, with the point's index in it in *j;
// null when there is no such point.
const ClotCurve::Segment *locate(const QList<ClotCurve::Segment> &segments, int i, qsizetype *j)
{
    if (i < 0)
        return nullptr;
    qsizetype k = i;
    for (const ClotCurve::Segment &segment : segments) {
        if (k < segment.y.size()) {
            *j = k;
            return &segment;
        }
        k -= segment.y.size();
    }
    return nullptr;
}

} // namespace

double ClotCurve::x(int i) const
{
    qsizetype j = 0;
    const Segment *segment = locate(segmentList, i, &j);
    return segment ? segment->x0 + double(j) * segment->dx : 0.0;
}

double ClotCurve::y(int i) const
{
    qsizetype j = 0;
    const Segment *segment = locate(segmentList, i, &j);
    return segment ? segment->y.at(j) : 0.0;
}

void ClotCurve::remove(int pos, int n)
{
    if (pos < 0 || n <= 0)
        return;
    qsizetype first = pos;
    qsizetype count = n;
    qsizetype s = 0;
    while (s < segmentList.size() && count != 0) {
        const qsizetype m = segmentList.at(s).y.size();
        if (first < m) {
            const qsizetype k = std::min(count, m - first);
            QList<double> &y = segmentList[s].y;
            y.remove(first, k);
            count -= k;
            if (y.isEmpty()) {
                // The following segment now has index s; pos stays.
                segmentList.removeAt(s);
                continue;
            }
        }
        first -= segmentList.at(s).y.size();
        ++s;
    }
}

namespace {

// v rounded to the nearest integer, halves up, clamped into [low, high]
// before the conversion so that no value (NaN, huge) overflows an int.
qsizetype roundHalfUp(double v, qsizetype low, qsizetype high)
{
    if (!(v == v))
        return low;
    const double r = std::floor(v + 0.5);
    if (r <= double(low))
        return low;
    if (r >= double(high))
        return high;
    return qsizetype(r);
}

} // namespace

ClotCurve ClotCurve::toType(PointType type) const
{
    if (type == pointType || type != OdPoint || pointType != RawPoint)
        return *this;

    ClotCurve result = simplified();
    result.pointType = OdPoint;
    if (result.segmentList.isEmpty())
        return result;

    Segment &s = result.segmentList[0];   // unshares: the source keeps its values
    QList<double> &y = s.y;
    const qsizetype n = y.size();

    // A step that is not a positive finite number has no reference window.
    qsizetype window = 0;
    qsizetype start = 0;
    if (s.dx > 0 && std::isfinite(s.dx)) {
        const double t0 = qMax(s.x0, 3.0);
        start = roundHalfUp((t0 - s.x0) / s.dx, 0, n);
        window = qMin(n - start, qMax(qsizetype(1), roundHalfUp(1.0 / s.dx, 0, n)));
    }
    if (window <= 0) {
        std::fill(y.begin(), y.end(), 0.0);
        return result;
    }

    double sum = 0.0;
    for (qsizetype k = start; k < start + window; ++k)
        sum += y.at(k);
    const double ref = sum / double(window);

    constexpr double epsilon = std::numeric_limits<double>::epsilon();
    const qsizetype h = start + window / 2;
    double *values = y.data();
    std::fill(values, values + h, 0.0);
    for (qsizetype k = h; k < n; ++k)
        values[k] = qMin(5.0, std::log10(ref / qMax(values[k], epsilon)));
    return result;
}

// --- byte form ---------------------------------------------------------

namespace {

inline void putUInt32(char *&p, quint32 v)
{
    qToBigEndian(v, p);
    p += 4;
}

inline void putDouble(char *&p, double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    qToBigEndian(bits, p);
    p += 8;
}

// Reads fields front to back; a field that the buffer cannot hold whole
// reads as 0 and the reader stays at the end.
class Reader
{
public:
    explicit Reader(const QByteArray &buffer)
        : m_p(buffer.constData()), m_end(m_p + buffer.size()),
          // Entries past the end of the buffer are zeros; allow as many of
          // them as the buffer has doubles (plus a few), no more.
          m_zeroBudget(buffer.size() / 8 + 16)
    {
    }

    quint32 uint32()
    {
        if (m_end - m_p < 4) {
            m_p = m_end;
            return 0;
        }
        const quint32 v = qFromBigEndian<quint32>(m_p);
        m_p += 4;
        return v;
    }

    double float64()
    {
        if (m_end - m_p < 8) {
            m_p = m_end;
            return 0.0;
        }
        const double v = rawDouble(m_p);
        m_p += 8;
        return v;
    }

    // How many of count entries, each at least entrySize bytes, to make: all
    // that the rest of the buffer can hold, then zeros within the budget.
    qsizetype entries(quint32 count, qsizetype entrySize)
    {
        const qsizetype fitting = (m_end - m_p) / entrySize;
        if (qsizetype(count) <= fitting)
            return count;
        const qsizetype padding = std::min(qsizetype(count) - fitting, m_zeroBudget);
        m_zeroBudget -= padding;
        return fitting + padding;
    }

    // Reads n doubles into values; those past the end stay 0.
    void doubles(double *values, qsizetype n)
    {
        const qsizetype whole = std::min(n, qsizetype((m_end - m_p) / 8));
        for (qsizetype i = 0; i < whole; ++i)
            values[i] = rawDouble(m_p + 8 * i);
        m_p += 8 * whole;
        if (whole < n)
            m_p = m_end;
    }

private:
    static double rawDouble(const char *p)
    {
        const quint64 bits = qFromBigEndian<quint64>(p);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    const char *m_p;
    const char *m_end;
    qsizetype m_zeroBudget;
};

} // namespace

QByteArray ClotCurve::toBuffer() const
{
    qsizetype bytes = 8;
    for (const Segment &segment : segmentList)
        bytes += 20 + 8 * segment.y.size();
    QByteArray buffer(bytes, Qt::Uninitialized);
    char *p = buffer.data();
    putUInt32(p, quint32(qint32(pointType)));
    putUInt32(p, quint32(segmentList.size()));
    for (const Segment &segment : segmentList) {
        putDouble(p, segment.x0);
        putDouble(p, segment.dx);
        putUInt32(p, quint32(segment.y.size()));
        for (double v : segment.y)
            putDouble(p, v);
    }
    return buffer;
}

ClotCurve ClotCurve::fromBuffer(const QByteArray &buffer)
{
    Reader in(buffer);
    ClotCurve curve;
    curve.pointType = PointType(qint32(in.uint32()));
    const quint32 segmentCount = in.uint32();
    curve.segmentList.resize(in.entries(segmentCount, 20));
    for (Segment &segment : curve.segmentList) {
        segment.x0 = in.float64();
        segment.dx = in.float64();
        const quint32 pointCount = in.uint32();
        segment.y.resize(in.entries(pointCount, 8));
        in.doubles(segment.y.data(), segment.y.size());
    }
    return curve;
}

// --- storage -----------------------------------------------------------

namespace {

void logQueryError(const char *site, const QSqlQuery &query)
{
    qWarning().noquote() << QLatin1String(site) << query.lastError().text();
}

} // namespace

void ClotCurve::save(int patientId, const QString &item) const
{
    QSqlQuery query(Profile::instance().dataDatabase());
    if (isEmpty()) {
        if (!query.prepare(QStringLiteral(
                "delete from curve where patientId=:patientId and item=:item")))
            logQueryError(".\\analysisresult(88):", query);
    } else {
        if (!query.prepare(QStringLiteral(
                "insert into curve (patientId, item, curve) values(:patientId, :item, :curve)")))
            logQueryError(".\\analysisresult(94):", query);
        query.bindValue(QStringLiteral(":curve"), toBuffer());
    }
    query.bindValue(QStringLiteral(":patientId"), patientId);
    query.bindValue(QStringLiteral(":item"), item);
    if (!query.exec())
        logQueryError(".\\analysisresult(106):", query);
}

void ClotCurve::load(int patientId, const QString &item)
{
    QSqlQuery query(Profile::instance().dataDatabase());
    // Several saves leave several rows: the newest one is the curve.
    if (!query.prepare(QStringLiteral(
            "select curve from curve where patientId=:patientId and item=:item"
            " order by rowid desc limit 1")))
        logQueryError(".\\analysisresult(113):", query);
    query.bindValue(QStringLiteral(":patientId"), patientId);
    query.bindValue(QStringLiteral(":item"), item);
    if (!query.exec())
        logQueryError(".\\analysisresult(119):", query);

    if (query.next()) {
        const QByteArray blob = query.value(0).toByteArray();
        if (!blob.isEmpty()) {
            *this = fromBuffer(blob);
            return;
        }
    }
    segmentList.clear();
}
