// Decodes arbitrary bytes as a clot curve: no crash, no undefined behaviour,
// memory bounded by the input's size, and a decoded curve re-encodes to a
// form that decodes to itself.
#include <analysisresult.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     qsizetype(size));
    const ClotCurve curve = ClotCurve::fromBuffer(input);

    // Entries past the end of the input are limited to about one per 8 bytes.
    const qsizetype limit = 2 * (qsizetype(size) / 8 + 16);
    if (curve.segments().size() > limit || curve.size() > limit)
        std::abort();

    const QByteArray encoded = curve.toBuffer();
    if (ClotCurve::fromBuffer(encoded).toBuffer() != encoded)
        std::abort();
    curve.toType(ClotCurve::OdPoint);
    curve.x(curve.size() - 1);
    return 0;
}
