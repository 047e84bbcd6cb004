// dbupdate: brings profile.db, data.db and qc.db in the working directory to
// the current schema in place. Arguments that do not begin with '-' are
// translation files, searched in ".", ".." and Qt's translations directory.
// Exit code 0 when all three upgrades succeeded, 1 at the first that failed
// (the later ones do not run), 2 for a command line it does not understand.
#include "updatedata.h"
#include "updateprofile.h"
#include "updateqc.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QLibraryInfo>
#include <QtCore/QTranslator>

#include <cstdio>
#include <memory>

namespace {

const char usage[] =
    "Usage: dbupdate [OPTION]... [TRANSLATION]...\n"
    "Upgrade the workstation's profile.db, data.db and qc.db in place.\n"
    "\n"
    "  -C, --directory DIR  upgrade the installation in DIR (default: the current\n"
    "                       directory); translations are looked up relative to it\n"
    "      --check          run every step, then roll it back: print what the\n"
    "                       upgrade would do and exit as it would; no file changes\n"
    "      --backup[=DIR]   before a file is changed, copy it to\n"
    "                       FILE.<yyyyMMdd-HHmmss>.bak beside it, or in DIR\n"
    "  -q, --quiet          print no report on standard output\n"
    "  -h, --help           print this help and exit\n"
    "      --version        print the version and exit\n"
    "\n"
    "Each TRANSLATION is a .qm file, looked up in '.', '..' and Qt's translations\n"
    "directory. Warnings go to standard error.\n"
    "Exit status: 0 all files are current, 1 a file could not be upgraded (it was\n"
    "left as it was, and the files after it were not touched), 2 bad usage.\n";

struct CommandLine
{
    UpgradeOptions options;
    QString directory;
    QStringList translations;
    bool quiet = false;
    bool help = false;
    bool version = false;
    QString error;   // set when the command line is not understood
};

// The options are parsed by hand: --backup takes an optional value, which
// QCommandLineParser cannot express.
CommandLine parse(const QStringList &arguments)
{
    CommandLine line;
    bool optionsEnd = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (optionsEnd || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
            line.translations << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnd = true;
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            line.help = true;
        } else if (argument == QLatin1String("--version")) {
            line.version = true;
        } else if (argument == QLatin1String("-q") || argument == QLatin1String("--quiet")) {
            line.quiet = true;
        } else if (argument == QLatin1String("--check")) {
            line.options.dryRun = true;
        } else if (argument == QLatin1String("--backup")) {
            line.options.backup = true;
        } else if (argument.startsWith(QLatin1String("--backup="))) {
            line.options.backup = true;
            line.options.backupDirectory = argument.mid(9);
            if (line.options.backupDirectory.isEmpty())
                line.error = QStringLiteral("--backup= needs a directory");
        } else if (argument == QLatin1String("-C") || argument == QLatin1String("--directory")) {
            if (++i == arguments.size())
                line.error = QStringLiteral("%1 needs a directory").arg(argument);
            else
                line.directory = arguments.at(i);
        } else if (argument.startsWith(QLatin1String("--directory="))) {
            line.directory = argument.mid(12);
        } else if (argument.startsWith(QLatin1String("-C")) && argument.size() > 2) {
            line.directory = argument.mid(2);
        } else {
            line.error = QStringLiteral("unknown option %1").arg(argument);
        }
        if (!line.error.isEmpty())
            break;
    }
    return line;
}

bool loadTranslator(QTranslator *translator, const QStringList &searchPath, const QString &fileName)
{
    for (const QString &directory : searchPath) {
        if (translator->load(fileName, directory))
            return true;
    }
    return false;
}

template <typename Upgrade>
bool runUpgrade(bool quiet)
{
    Upgrade upgrade;
    const bool ok = upgrade.update();
    if (!quiet) {
        for (const QString &text : upgrade.report().lines(UpdateBase::options().dryRun))
            std::printf("%s\n", qUtf8Printable(text));
        std::fflush(stdout);
    }
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(DBUPDATE_VERSION));

    const CommandLine line = parse(QCoreApplication::arguments());
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "dbupdate: %s\n%s", qUtf8Printable(line.error), usage);
        return 2;
    }
    if (line.help) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (line.version) {
        std::printf("dbupdate %s\n", DBUPDATE_VERSION);
        return 0;
    }
    if (!line.directory.isEmpty() && !QDir::setCurrent(line.directory)) {
        std::fprintf(stderr, "dbupdate: cannot change to the directory %s: it does not exist or this user "
                             "may not enter it\n", qUtf8Printable(line.directory));
        return 2;
    }
    UpgradeOptions options = line.options;
    if (!options.backupDirectory.isEmpty())
        options.backupDirectory = QDir(options.backupDirectory).absolutePath();
    UpdateBase::setOptions(options);

    const QStringList searchPath{QStringLiteral("."), QStringLiteral(".."),
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString &fileName : line.translations) {
        auto translator = std::make_unique<QTranslator>(&app);
        if (loadTranslator(translator.get(), searchPath, fileName))
            QCoreApplication::installTranslator(translator.release());
    }

    if (!runUpgrade<UpdateProfile>(line.quiet) || !runUpgrade<UpdateData>(line.quiet)
        || !runUpgrade<UpdateQc>(line.quiet))
        return 1;
    return 0;
}
