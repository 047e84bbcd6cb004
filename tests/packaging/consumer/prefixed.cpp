// The same headers included by their path under the install's include/, as
// applications that keep several libraries' headers apart do. The guards an
// application header of its own may use must not hide them.
#define PROFILE_H
#define SERIAL_H
#define KAGLOBAL_H
#define ANALYSISRESULT_H
#include <Core/analysisresult.h>
#include <Core/kaglobal.h>
#include <Core/profile.h>
#include <Core/serial.h>

#if !defined(CORE_VERSION) || CORE_VERSION < CORE_VERSION_CHECK(1, 0, 0)
#error "CORE_VERSION missing or too old"
#endif

#include <cstring>

bool prefixedIncludesWork()
{
    ClotCurve curve;
    const ClotCurve other;
    curve.setSegments(other.segments());   // takes a const list
    AnalysisResult result;
    result.setValue(12.5);
    return std::strlen(CORE_VERSION_STR) > 0 && curve.isEmpty()
        && result.toString(AnalysisResult::NumberOnly) == QStringLiteral("12.50");
}
