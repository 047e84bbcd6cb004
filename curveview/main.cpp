// curveview: lists, exports and plots the clot curves stored in data.db of a
// workstation installation, read-only.
#include "chart.h"
#include "curvedata.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QLocale>
#include <QtCore/QRegularExpression>
#include <QtWidgets/QApplication>

#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

const char usage[] =
    "Usage: curveview [-C DIR] COMMAND [OPTION]...\n"
    "List, export and plot the clot curves in data.db of the installation in DIR\n"
    "(default: the current directory). data.db is only read.\n"
    "\n"
    "Commands:\n"
    "  list [--date yyyy-MM-dd] [--sample NO]\n"
    "      the patients that have curves: sample number, day, and per curve the\n"
    "      item, point type, segments and points\n"
    "  export --patient ID [--item NAME] [--od] [--format csv|json] [-o FILE]\n"
    "      the points (segment, x, y) exactly, as CSV (default) or JSON\n"
    "  plot --patient ID [--item NAME]... [--od] [-o FILE.png|FILE.svg] [--size WxH]\n"
    "      a chart of the curves (default patient-ID.png, 800x500)\n"
    "\n"
    "  --od          optical densities (Core's conversion) instead of raw readings\n"
    "  -h, --help    print this help and exit\n"
    "  --version     print the version and exit\n"
    "Exit status: 0 done, 1 an error (named on standard error), 2 bad usage.\n";

int usageError(const QString &text)
{
    std::fprintf(stderr, "curveview: %s\n%s", qUtf8Printable(text), usage);
    return 2;
}

int failure(const QString &text)
{
    std::fprintf(stderr, "curveview: %s\n", qUtf8Printable(text));
    return 1;
}

// The shortest text that reads back as the same double.
QString exact(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

void warnDamaged(const PatientCurves &patient)
{
    for (const StoredCurve &c : patient.curves) {
        if (c.damaged)
            std::fprintf(stderr, "curveview: warning: the curve %s of patient %lld (%lld bytes) is damaged; "
                                 "it is shown as far as it could be decoded\n",
                         qUtf8Printable(c.item), static_cast<long long>(patient.id),
                         static_cast<long long>(c.bytes));
    }
}

struct Options
{
    QString date, sample, format = QStringLiteral("csv"), output;
    QStringList items;
    qint64 patient = -1;
    bool od = false;
    QSize size{800, 500};
};

QByteArray exportText(const PatientCurves &patient, bool od, bool json)
{
    if (json) {
        QJsonArray curves;
        for (const StoredCurve &stored : patient.curves) {
            const ClotCurve curve = od ? stored.curve.toType(ClotCurve::OdPoint) : stored.curve;
            QJsonArray segments;
            for (const ClotCurve::Segment &s : curve.segments()) {
                QJsonArray points;
                for (qsizetype k = 0; k < s.y.size(); ++k)
                    points.append(QJsonArray{s.x0 + double(k) * s.dx, s.y.at(k)});
                segments.append(QJsonObject{{QStringLiteral("x0"), s.x0}, {QStringLiteral("dx"), s.dx},
                                            {QStringLiteral("points"), points}});
            }
            curves.append(QJsonObject{{QStringLiteral("item"), stored.item},
                                      {QStringLiteral("type"), curve.type() == ClotCurve::OdPoint
                                                                   ? QStringLiteral("od") : QStringLiteral("raw")},
                                      {QStringLiteral("segments"), segments}});
        }
        const QJsonObject root{{QStringLiteral("patient"), patient.id},
                               {QStringLiteral("sampleNo"), patient.sampleNo},
                               {QStringLiteral("date"), patient.date},
                               {QStringLiteral("curves"), curves}};
        return QJsonDocument(root).toJson(QJsonDocument::Indented);
    }
    QByteArray text = "item,segment,index,x,y\n";
    for (const StoredCurve &stored : patient.curves) {
        const ClotCurve curve = od ? stored.curve.toType(ClotCurve::OdPoint) : stored.curve;
        const QList<ClotCurve::Segment> segments = curve.segments();
        for (qsizetype s = 0; s < segments.size(); ++s) {
            const ClotCurve::Segment &segment = segments.at(s);
            for (qsizetype k = 0; k < segment.y.size(); ++k)
                text += QStringLiteral("%1,%2,%3,%4,%5\n")
                            .arg(stored.item).arg(s).arg(k)
                            .arg(exact(segment.x0 + double(k) * segment.dx), exact(segment.y.at(k)))
                            .toUtf8();
        }
    }
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    // Only a plot needs the GUI libraries' application object: it draws
    // without a screen (over SSH, in CI).
    std::unique_ptr<QCoreApplication> app;
    if (args.contains(QLatin1String("plot"))) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            const QString runtime = QDir::tempPath() + QStringLiteral("/runtime-%1").arg(::getuid());
            QDir().mkpath(runtime);
            QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        }
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    QString directory = QStringLiteral(".");
    QString command;
    Options o;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const auto value = [&](QString *out) {
            if (i + 1 >= args.size())
                return false;
            *out = args.at(++i);
            return true;
        };
        QString v;
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(usage, stdout);
            return 0;
        } else if (a == QLatin1String("--version")) {
            std::printf("curveview %s\n", CURVEVIEW_VERSION);
            return 0;
        } else if (a == QLatin1String("-C") || a == QLatin1String("--directory")) {
            if (!value(&directory))
                return usageError(QStringLiteral("%1 needs a directory").arg(a));
        } else if (command.isEmpty() && !a.startsWith(QLatin1Char('-'))) {
            command = a;
        } else if (a == QLatin1String("--date")) {
            if (!value(&o.date) || !QDate::fromString(o.date, Qt::ISODate).isValid())
                return usageError(QStringLiteral("--date needs a day as yyyy-MM-dd"));
        } else if (a == QLatin1String("--sample")) {
            if (!value(&o.sample))
                return usageError(QStringLiteral("--sample needs a sample number"));
        } else if (a == QLatin1String("--patient")) {
            bool ok = false;
            if (value(&v))
                o.patient = v.toLongLong(&ok);
            if (!ok)
                return usageError(QStringLiteral("--patient needs a patient id (a number)"));
        } else if (a == QLatin1String("--item")) {
            if (!value(&v))
                return usageError(QStringLiteral("--item needs an item name"));
            o.items << v;
        } else if (a == QLatin1String("--od")) {
            o.od = true;
        } else if (a == QLatin1String("--format")) {
            if (!value(&o.format) || (o.format != QLatin1String("csv") && o.format != QLatin1String("json")))
                return usageError(QStringLiteral("--format is csv or json"));
        } else if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            if (!value(&o.output))
                return usageError(QStringLiteral("%1 needs a file name").arg(a));
        } else if (a == QLatin1String("--size")) {
            const auto m = QRegularExpression(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$")).match(value(&v) ? v : QString());
            if (!m.hasMatch())
                return usageError(QStringLiteral("--size needs WIDTHxHEIGHT, for example 800x500"));
            o.size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
        } else {
            return usageError(QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (command.isEmpty())
        return usageError(QStringLiteral("no command given"));
    if (command != QLatin1String("list") && command != QLatin1String("export") && command != QLatin1String("plot"))
        return usageError(QStringLiteral("unknown command %1").arg(command));
    if (command != QLatin1String("list") && o.patient < 0)
        return usageError(QStringLiteral("%1 needs --patient ID").arg(command));
    if (command == QLatin1String("export") && o.items.size() > 1)
        return usageError(QStringLiteral("export takes one --item"));

    CurveData data;
    if (!data.open(directory))
        return failure(data.error());

    if (command == QLatin1String("list")) {
        const auto print = [](const PatientCurves &p) {
            std::printf("patient %lld  sample %s  %s\n", static_cast<long long>(p.id), qUtf8Printable(p.sampleNo),
                        qUtf8Printable(p.date));
            for (const StoredCurve &c : p.curves)
                std::printf("  %-6s %-3s %lld segment%s %d points%s\n", qUtf8Printable(c.item),
                            c.curve.type() == ClotCurve::OdPoint ? "od" : "raw",
                            static_cast<long long>(c.curve.segments().size()),
                            c.curve.segments().size() == 1 ? "" : "s", c.curve.size(),
                            c.damaged ? "  (damaged: decoded as far as it goes)" : "");
            warnDamaged(p);
        };
        if (!data.list(o.date, o.sample, print))
            return failure(data.error());
        return 0;
    }

    PatientCurves patient;
    if (!data.patient(o.patient, o.items, &patient))
        return failure(data.error());
    warnDamaged(patient);

    if (command == QLatin1String("export")) {
        const QByteArray text = exportText(patient, o.od, o.format == QLatin1String("json"));
        if (o.output.isEmpty() || o.output == QLatin1String("-")) {
            std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
            return 0;
        }
        QFile file(o.output);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush())
            return failure(QStringLiteral("%1: cannot be written (%2)").arg(o.output, file.errorString()));
        return 0;
    }

    const QString output = o.output.isEmpty() ? QStringLiteral("patient-%1.png").arg(o.patient) : o.output;
    QString error;
    if (!plotCurves(patient, o.od, output, o.size, &error))
        return failure(error);
    std::printf("%s\n", qUtf8Printable(output));
    return 0;
}
